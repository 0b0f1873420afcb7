// Events delivered per second to a loopback gateway through the report service: stored events are packed
// into reports (one per user, packages of `countForRequest` events), stored, sent one report per request
// on the network serial queue and deleted once accepted. Storing the events beforehand is not timed. And
// what packing a full stack costs the income queue.
//
//   build/normal/bench/ReportServiceBench --benchmark_min_time=2
#include "backend/Backend.hpp"
#include "backend/BackendRepository.hpp"
#include "database/SQLiteProvider.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "network/BackendConfigUrl.hpp"
#include "repositories/EventRepository.hpp"
#include "repositories/ReportsRepository.hpp"
#include "services/ReportService.hpp"
#include "support/FakeStateManager.hpp"
#include "support/GatewayClient.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/QueueRunner.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

using namespace zqb;

// A typical custom event as the events service stores it.
const std::string kEventJson =
    R"({"code":"ce","timestamp":1700000000000,"sessionId":1700000000000,"level":3,"name":"level_completed",)"
    R"("parameters":{"score":1200,"stars":3,"mode":"hard"}})";

// The configuration a project holds, with reports of `batch` events.
std::string configurationWithBatch(int64_t batch) {
    return R"({"timeForRequest":120000,"countForRequest":)" + std::to_string(batch) +
           R"(,"eventParamsCount":20,"sessionTimeout":600000,"serverTime":0,"aliveTimeout":300000,"userCounting":true})";
}

void BM_DeliverStoredEvents(benchmark::State& state) {
    const int64_t users = state.range(0);
    const int64_t eventsPerUser = state.range(1);
    const int64_t countForRequest = state.range(2);

    test::ScopedEnvironment env;
    test::LoopbackGateway gateway;
    gateway.setReply("/v2/analytics/report", {200, "{}"});
    BackendConfigUrl::setTestProxyUrl(gateway.baseUrl());

    auto database = zqb::test::sharedDatabase();
    auto events = std::make_shared<EventRepository>(database);
    auto reports = std::make_shared<ReportsRepository>(database);
    auto stateManager = std::make_shared<test::FakeStateManager>();
    stateManager->project->configurationJson = configurationWithBatch(countForRequest);
    for (int64_t index = 2; index <= users; ++index) {
        auto user = std::make_shared<User>(1, "user-" + std::to_string(index), false);
        user->idKey = index;
        stateManager->otherUsers.push_back(user);
    }
    auto service = std::make_shared<ReportService>(
        stateManager, events, reports,
        std::make_shared<Backend>(test::gatewayClient(host::Environment::shared().httpSession())),
        std::make_shared<UploadHandover>(), QueueManager::incomeQueue(), QueueManager::networkSerialQueue(),
        QueueManager::networkFlashQueue());

    std::size_t requests = 0;
    for (auto _ : state) {
        state.PauseTiming();
        requests += gateway.requestCount();
        gateway.clearRequests();
        test::onIncome([&] {
            for (int64_t user = 1; user <= users; ++user) {
                for (int64_t index = 0; index < eventsPerUser; ++index) {
                    events->insert(EventObject::make("ce", -1, user, kEventJson));
                }
            }
        });
        state.ResumeTiming();

        test::onIncome([&] { service->sendBufferedEvents(); });
        test::settle({&QueueManager::incomeQueue(), &QueueManager::networkSerialQueue()});
        if (gateway.requestCount() != static_cast<std::size_t>(users)) {
            state.SkipWithError("the gateway did not receive every report");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * users * eventsPerUser);
    state.counters["requests"] = static_cast<double>(requests + gateway.requestCount());

    test::onIncome([&] { service.reset(); });
    test::settleAll();
    BackendConfigUrl::setTestProxyUrl("");
}
BENCHMARK(BM_DeliverStoredEvents)
    ->ArgNames({"users", "eventsPerUser", "countForRequest"})
    ->Args({1, 10, 10})
    ->Args({1, 100, 10})
    ->Args({1, 1000, 100})
    ->Args({10, 100, 10})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// What the income queue does for every full stack under sustained load, the sending itself left out: a
// user's 100 stored events packed into a report, the report stored, the events deleted, and the group of
// those writes committed. The events are those of a custom event with a text, an integer and a boolean,
// stored as the events service stores them, untimed; writes are grouped on the income queue as the library
// groups them. The network queue is held, so every stack after the first only asks for another run, as
// it does while a run is under way.
void BM_PackAFullStack(benchmark::State& state) {
    constexpr int64_t kStack = 100;
    test::ScopedEnvironment env;
    test::LoopbackGateway gateway;
    gateway.setReply("/v2/analytics/report", {200, "{}"});
    BackendConfigUrl::setTestProxyUrl(gateway.baseUrl());

    auto& income = QueueManager::incomeQueue();
    auto database = zqb::test::sharedDatabase();
    SQLiteProvider::WriterQueue writer;
    writer.isCurrent = [&income] { return income.isCurrent(); };
    writer.post = [&income](std::function<void()> operation) { income.addOperation(std::move(operation)); };
    database->groupWritesOn(std::move(writer));
    auto events = std::make_shared<EventRepository>(database);
    auto reports = std::make_shared<ReportsRepository>(database);
    auto stateManager = std::make_shared<test::FakeStateManager>();
    stateManager->project->configurationJson = configurationWithBatch(kStack);
    auto service = std::make_shared<ReportService>(
        stateManager, events, reports,
        std::make_shared<Backend>(test::gatewayClient(host::Environment::shared().httpSession())),
        std::make_shared<UploadHandover>(), income, QueueManager::networkSerialQueue(),
        QueueManager::networkFlashQueue());

    QueueManager::networkSerialQueue().pause();
    int64_t score = 0;
    for (auto _ : state) {
        state.PauseTiming();
        test::onIncome([&] {
            for (int64_t index = 0; index < kStack; ++index) {
                std::string json =
                    R"({"code":"ce","timestamp":1700000000000,"sessionId":1699999990000,"level":3,)"
                    R"("name":"match_finished","parameters":{"hard_mode":true,"mode":"duel","score":)" +
                    std::to_string(++score) + "}}";
                auto event = EventObject::make("ce", -1, 1, json);
                events->insert(event, std::move(json));
            }
            database->commitWrites();
        });
        state.ResumeTiming();
        test::onIncome([&] {
            service->sendBufferedEvents();
            database->commitWrites();
        });
    }
    state.SetItemsProcessed(state.iterations() * kStack);

    QueueManager::networkSerialQueue().resume();
    test::settle({&income, &QueueManager::networkSerialQueue()});
    test::onIncome([&] { service.reset(); });
    test::settleAll();
    BackendConfigUrl::setTestProxyUrl("");
}
BENCHMARK(BM_PackAFullStack)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

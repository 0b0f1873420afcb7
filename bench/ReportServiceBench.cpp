// Events delivered per second to a loopback gateway through the report service: stored events are packed
// into reports (one per user, packages of `countForRequest` events), stored, sent one report per request
// on the network serial queue and deleted once accepted. Storing the events beforehand is not timed.
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

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

using namespace zqb;

// A typical custom event as the events service stores it.
const std::string kEventJson =
    R"({"code":"ce","timestamp":1700000000000,"sessionId":1700000000000,"level":3,"name":"level_completed",)"
    R"("parameters":{"score":1200,"stars":3,"mode":"hard"}})";

void BM_DeliverStoredEvents(benchmark::State& state) {
    const int64_t users = state.range(0);
    const int64_t eventsPerUser = state.range(1);
    const int64_t countForRequest = state.range(2);

    test::ScopedEnvironment env;
    test::LoopbackGateway gateway;
    gateway.setReply("/v2/analytics/report", {200, "{}"});
    BackendConfigUrl::setTestProxyUrl(gateway.baseUrl());

    auto database = std::make_shared<SQLiteProvider>("bench");
    auto events = std::make_shared<EventRepository>(database);
    auto reports = std::make_shared<ReportsRepository>(database);
    auto stateManager = std::make_shared<test::FakeStateManager>();
    stateManager->project->configurationJson =
        R"({"timeForRequest":120000,"countForRequest":)" + std::to_string(countForRequest) +
        R"(,"eventParamsCount":20,"sessionTimeout":600000,"serverTime":0,"aliveTimeout":300000,"userCounting":true})";
    for (int64_t index = 2; index <= users; ++index) {
        auto user = std::make_shared<User>(1, "user-" + std::to_string(index), false);
        user->idKey = index;
        stateManager->otherUsers.push_back(user);
    }
    auto service = std::make_shared<ReportService>(
        stateManager, events, reports,
        std::make_shared<Backend>(test::gatewayClient(host::Environment::shared().httpSession())),
        QueueManager::incomeQueue(), QueueManager::networkSerialQueue(), QueueManager::networkFlashQueue());

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

}  // namespace

BENCHMARK_MAIN();

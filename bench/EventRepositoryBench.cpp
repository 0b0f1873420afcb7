// Storing and reading back events as the events service does: one autocommit insert per event through
// EventRepository into the real database file (WAL, synchronous=NORMAL), and a relaunch reading the whole
// table into a fresh repository's cache. Event texts are about 200 bytes, like a custom event with a few
// parameters.
#include "database/SQLiteProvider.hpp"
#include "repositories/EventRepository.hpp"
#include "support/ScopedEnvironment.hpp"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

constexpr int64_t kEvents = 100000;

std::shared_ptr<zqb::EventObject> makeEvent(int64_t index) {
    std::string json = R"({"code":"ce","timestamp":1700000000000,"sessionId":1699999990000,"level":3,)"
                       R"("name":"level_completed","parameters":{"score":)" +
                       std::to_string(index) + R"(,"mode":"arcade","bonus":true}})";
    return std::make_shared<zqb::EventObject>("ce", -1, 1, std::move(json));
}

void fill(zqb::EventRepository& repository) {
    for (int64_t index = 0; index < kEvents; ++index) {
        repository.insert(makeEvent(index));
    }
}

void BM_InsertEvents(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        {
            zqb::test::ScopedEnvironment environment;
            auto database = std::make_shared<zqb::SQLiteProvider>("bench");
            zqb::EventRepository repository(database);
            state.ResumeTiming();
            fill(repository);
            state.PauseTiming();
            if (static_cast<int64_t>(repository.list().size()) != kEvents) {
                state.SkipWithError("events missing");
            }
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kEvents), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_InsertEvents)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_ReadEventsAfterRelaunch(benchmark::State& state) {
    zqb::test::ScopedEnvironment environment;
    {
        auto database = std::make_shared<zqb::SQLiteProvider>("bench");
        zqb::EventRepository repository(database);
        fill(repository);
    }
    for (auto _ : state) {
        auto database = std::make_shared<zqb::SQLiteProvider>("bench");
        zqb::EventRepository repository(database);
        const auto events = repository.list();
        if (static_cast<int64_t>(events.size()) != kEvents) {
            state.SkipWithError("events missing");
        }
        benchmark::DoNotOptimize(events.data());
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kEvents), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadEventsAfterRelaunch)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

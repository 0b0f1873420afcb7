// Storing and reading back events as the events service does: one autocommit insert per event through
// EventRepository into the real database file (WAL, synchronous=NORMAL), and a relaunch reading the whole
// table into a fresh repository's cache. Event texts are about 200 bytes, like a custom event with a few
// parameters. And where the memory of a cache of unsent events goes, with the texts the events service
// stores for a custom event with three parameters.
#include "BenchMeasures.hpp"
#include "database/SQLiteProvider.hpp"
#include "model/CompactEventText.hpp"
#include "model/CustomEvent.hpp"
#include "repositories/EventRepository.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int64_t kEvents = 100000;

std::shared_ptr<zqb::EventObject> makeEvent(int64_t index) {
    std::string json = R"({"code":"ce","timestamp":1700000000000,"sessionId":1699999990000,"level":3,)"
                       R"("name":"level_completed","parameters":{"score":)" +
                       std::to_string(index) + R"(,"mode":"arcade","bonus":true}})";
    return zqb::EventObject::make("ce", -1, 1, std::move(json));
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
            auto database = zqb::test::sharedDatabase();
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
        auto database = zqb::test::sharedDatabase();
        zqb::EventRepository repository(database);
        fill(repository);
    }
    for (auto _ : state) {
        auto database = zqb::test::sharedDatabase();
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

// The table filled with the texts of the custom events the library stores for a call with three
// parameters, one event at a time as the events service inserts them. The counters split the heap's growth
// per event: the cache's slots (with the vector's growth room), SQLite's own heap, and the rest, which is the
// cached rows (one allocation each, with their texts in compact form); beside them the lengths of the text
// and of its compact form.
void BM_EventCacheMemory(benchmark::State& state) {
    zqb::test::ScopedEnvironment environment;
    const zqb::CustomEvent event(1700000000000, 1700000000000, 1, "match_finished",
                                 zqb::AnyCodableMap{{"mode", "duel"}, {"score", 1234}, {"ratio", 0.75}});
    for (auto _ : state) {
        auto database = zqb::test::sharedDatabase();
        zqb::EventRepository repository(database);
        const double heapBefore = zqb::bench::heapBytesInUse();
        const int64_t sqliteBefore = sqlite3_memory_used();
        for (int64_t index = 0; index < kEvents; ++index) {
            repository.insert(zqb::EventObject::make(event.eventCode(), -1, 1, event.getJson()));
        }
        const double heap = zqb::bench::heapBytesInUse() - heapBefore;
        const auto sqlite = static_cast<double>(sqlite3_memory_used() - sqliteBefore);
        const auto& cache = repository.cache();
        double length = 0;
        double compact = 0;
        for (const auto& cached : cache) {
            const std::string text = cached->json();
            length += static_cast<double>(text.size());
            compact += static_cast<double>(zqb::CompactEventText::compactSize(text));
        }
        const auto events = static_cast<double>(kEvents);
        const double slots = static_cast<double>(cache.capacity() * sizeof(cache.front())) / events;
        state.counters["heap_per_event"] = heap / events;
        state.counters["slots_per_event"] = slots;
        state.counters["sqlite_per_event"] = sqlite / events;
        state.counters["rows_per_event"] = heap / events - slots - sqlite / events;
        state.counters["json_length"] = length / events;
        state.counters["compact_length"] = compact / events;
    }
}
BENCHMARK(BM_EventCacheMemory)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// What packing a report reads of each cached row: its text, as the package carries it.
void BM_ReadCachedTexts(benchmark::State& state) {
    zqb::test::ScopedEnvironment environment;
    const zqb::CustomEvent event(1700000000000, 1700000000000, 1, "match_finished",
                                 zqb::AnyCodableMap{{"mode", "duel"}, {"score", 1234}, {"ratio", 0.75}});
    auto database = zqb::test::sharedDatabase();
    zqb::EventRepository repository(database);
    for (int64_t index = 0; index < 10000; ++index) {
        repository.insert(zqb::EventObject::make(event.eventCode(), -1, 1, event.getJson()));
    }
    for (auto _ : state) {
        std::vector<std::string> texts;
        texts.reserve(repository.cache().size());
        for (const auto& cached : repository.cache()) {
            texts.push_back(cached->json());
        }
        benchmark::DoNotOptimize(texts.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(repository.cache().size()));
}
BENCHMARK(BM_ReadCachedTexts)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

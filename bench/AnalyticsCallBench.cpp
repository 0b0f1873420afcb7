// Custom events through the public interface with the real logic behind it:
// - what one call costs the host's thread (copy of the arguments and one enqueue);
// - calls to stored rows: the business rules, the event encoding and the insert, on the income queue, with a
//   batch size that never fills (nothing is sent);
// - calls to the gateway: the same with the default batch of 10, so that full stacks are packed into reports
//   and posted to a loopback gateway, until the gateway has received every event.
#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include "BenchLibrary.hpp"
#include "BenchMeasures.hpp"
#include "foundation/QueueManager.hpp"
#include "support/QueueRunner.hpp"
#include "support/Wait.hpp"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <memory>
#include <string>

namespace {

void drain() {
    zqb::QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
}

using zqb::bench::heapBytesInUse;
using zqb::bench::Library;
using zqb::bench::residentBytes;

ZQBCustomEventParameters parameters() {
    ZQBCustomEventParameters result;
    result.add("mode", "duel");
    result.add("score", 1234);
    result.add("ratio", 0.75);
    return result;
}

void BM_CustomEventCallOnTheHostsThread(benchmark::State& state) {
    Library library(1'000'000);
    const auto params = parameters();
    int64_t pending = 0;
    for (auto _ : state) {
        ZQBAnalytics::customEvent("match_finished", params);
        if (++pending == 10'000) {
            // The queued calls run and their events go out untimed, so the table stays small.
            state.PauseTiming();
            ZQBAnalytics::sendBufferedEvents();
            zqb::test::settleAll();
            pending = 0;
            state.ResumeTiming();
        }
    }
    drain();
    state.SetItemsProcessed(state.iterations());
}

void BM_CustomEventsToStoredRows(benchmark::State& state) {
    Library library(1'000'000);
    const auto params = parameters();
    const int64_t batch = state.range(0);
    for (auto _ : state) {
        for (int64_t i = 0; i < batch; ++i) {
            ZQBAnalytics::customEvent("match_finished", params);
        }
        drain();
        // The stored events go out between runs, so every run inserts into a table of the same size.
        state.PauseTiming();
        ZQBAnalytics::sendBufferedEvents();
        zqb::test::settleAll();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * batch);
}

void BM_CustomEventsToTheGateway(benchmark::State& state) {
    Library library(10);
    const auto params = parameters();
    const int64_t batch = state.range(0);
    for (auto _ : state) {
        const std::size_t target = library.received() + static_cast<std::size_t>(batch);
        for (int64_t i = 0; i < batch; ++i) {
            ZQBAnalytics::customEvent("match_finished", params);
        }
        ZQBAnalytics::sendBufferedEvents();
        if (!zqb::test::waitUntil([&] { return library.received() >= target; }, std::chrono::seconds(60))) {
            state.SkipWithError("the gateway did not receive every event");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * batch);
}

// One run: the table fills from empty to `state.range(0)` unsent events; the time is that of the whole
// fill, the counters the resident memory before and after it. The calls go in steps of a thousand, each
// stored before the next is made, so that the figure is that of the stored events and not of a backlog of
// queued calls (whose memory the allocator keeps once it is freed).
void BM_ResidentMemoryWithBufferedEvents(benchmark::State& state) {
    Library library(1'000'000);
    const auto params = parameters();
    const int64_t count = state.range(0);
    constexpr int64_t step = 1000;
    const double before = residentBytes();
    const double heapBefore = heapBytesInUse();
    const int64_t sqliteBefore = sqlite3_memory_used();
    for (auto _ : state) {
        for (int64_t i = 0; i < count; ++i) {
            ZQBAnalytics::customEvent("match_finished", params);
            if ((i + 1) % step == 0) {
                drain();
            }
        }
        drain();
    }
    const double after = residentBytes();
    const double heapAfter = heapBytesInUse();
    const auto events = static_cast<double>(count);
    constexpr double mebibyte = 1024.0 * 1024.0;
    state.counters["rss_before_MiB"] = before / mebibyte;
    state.counters["rss_MiB"] = after / mebibyte;
    state.counters["bytes_per_event"] = (after - before) / events;
    // The heap's share of the growth, and SQLite's own share of the heap (its page cache above all).
    state.counters["heap_per_event"] = (heapAfter - heapBefore) / events;
    state.counters["sqlite_per_event"] = static_cast<double>(sqlite3_memory_used() - sqliteBefore) / events;
    state.SetItemsProcessed(state.iterations() * count);
}

// The resident memory that calls take while they wait in the income queue: the queue is paused, `count`
// calls are made, and the growth is divided by their number; the calls then run, untimed.
void BM_ResidentMemoryWithQueuedCalls(benchmark::State& state) {
    Library library(1'000'000);
    const auto params = parameters();
    const int64_t count = state.range(0);
    double growth = 0;
    double heapGrowth = 0;
    for (auto _ : state) {
        auto& queue = zqb::QueueManager::incomeQueue();
        queue.pause();
        const double before = residentBytes();
        const double heapBefore = heapBytesInUse();
        for (int64_t i = 0; i < count; ++i) {
            ZQBAnalytics::customEvent("match_finished", params);
        }
        growth = residentBytes() - before;
        heapGrowth = heapBytesInUse() - heapBefore;
        state.PauseTiming();
        queue.resume();
        drain();
        ZQBAnalytics::sendBufferedEvents();
        zqb::test::settleAll();
        state.ResumeTiming();
    }
    state.counters["bytes_per_call"] = growth / static_cast<double>(count);
    state.counters["heap_per_call"] = heapGrowth / static_cast<double>(count);
    state.SetItemsProcessed(state.iterations() * count);
}

}  // namespace

BENCHMARK(BM_CustomEventCallOnTheHostsThread)->UseRealTime();
BENCHMARK(BM_CustomEventsToStoredRows)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CustomEventsToTheGateway)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResidentMemoryWithBufferedEvents)
    ->Arg(100'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ResidentMemoryWithQueuedCalls)
    ->Arg(100'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_MAIN();

// The library under the usual workload (custom events with a text, an integer and a boolean, each parameter
// set built by the caller), measured the way a host and its tooling see it:
// - storing: 100,000 calls from one thread, timed until a connection of the benchmark's own reads the last
//   of them from the file (it looks every millisecond); events per second;
// - sending: 8 threads record 400,000 events with batches of 100, timed until a loopback gateway that
//   answers at once has received every one of them (the library's start and stop are not timed); events per
//   second end to end;
// - memory: 100,000 calls made at full speed and stored, not sent. The counters give the resident memory
//   the stored events leave behind once the backlog of queued calls has run, and the peak that backlog
//   reached; whatever the peak holds beyond the end is memory given back. The live part of the growth is
//   the cached rows (rows_growth, in the record arena), the slabs of queued calls still mapped
//   (queued_growth), the large buffers the library maps for itself (buffers_growth: the cache's vector, an
//   open group's journal) and the heap's (heap_growth, SQLite's sqlite_growth among it); what the resident
//   growth holds beyond them is the allocators' slack. rss_given_back is what the peak held beyond the end.
//
//   build/normal/bench/WorkloadBench --benchmark_repetitions=3
#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include "BenchLibrary.hpp"
#include "BenchMeasures.hpp"
#include "BenchWorkload.hpp"
#include "database/SQLiteProvider.hpp"
#include "foundation/BlockPool.hpp"
#include "foundation/MappedBlocks.hpp"
#include "foundation/QueueManager.hpp"
#include "foundation/RecordArena.hpp"
#include "support/QueueRunner.hpp"
#include "support/SharedDatabase.hpp"
#include "support/Wait.hpp"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using zqb::bench::Library;

std::filesystem::path databaseFile() {
    return *zqb::test::databaseFolder() / zqb::SQLiteProvider::fileName;
}

void BM_StoreEventsToTheFile(benchmark::State& state) {
    const int64_t count = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        // A batch size that never fills: nothing is sent, every event stays in the table.
        auto library = std::make_unique<Library>(100'000'000);
        zqb::bench::FileReader reader(databaseFile());
        const int64_t base = reader.newestRow();
        state.ResumeTiming();
        for (int64_t index = 0; index < count; ++index) {
            zqb::bench::recordMatchFinished(index);
        }
        const bool stored = zqb::test::waitUntil([&] { return reader.newestRow() >= base + count; },
                                                 std::chrono::seconds(120));
        state.PauseTiming();
        if (!stored || reader.countAfter(base) != count) {
            state.SkipWithError("the file does not hold every event");
            break;
        }
        // Stopping the library sends everything stored, which is not storing: it ends before the timer
        // runs again (the loop's end stops it only after the body's objects are gone).
        library.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_StoreEventsToTheFile)->Arg(100'000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EightThreadsToTheGateway(benchmark::State& state) {
    constexpr int kThreads = 8;
    const int64_t count = state.range(0);
    const int64_t batch = state.range(1);
    for (auto _ : state) {
        state.PauseTiming();
        auto library = std::make_unique<Library>(batch);
        state.ResumeTiming();
        {
            std::vector<std::thread> threads;
            for (int thread = 0; thread < kThreads; ++thread) {
                threads.emplace_back([count] {
                    for (int64_t index = 0; index < count / kThreads; ++index) {
                        zqb::bench::recordMatchFinished(index);
                    }
                });
            }
            for (auto& thread : threads) {
                thread.join();
            }
        }
        // Every stack is full when the count is a multiple of the batch; the rest, if any, goes now.
        ZQBAnalytics::sendBufferedEvents();
        const auto target = static_cast<std::size_t>(count / kThreads * kThreads);
        const bool received =
            zqb::test::waitUntil([&] { return library->received() >= target; }, std::chrono::seconds(300));
        state.PauseTiming();
        if (!received) {
            state.SkipWithError("the gateway did not receive every event");
            break;
        }
        // Stopping the library is not delivery: it ends before the timer runs again.
        library.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * (count / kThreads * kThreads));
}
BENCHMARK(BM_EightThreadsToTheGateway)
    ->ArgNames({"events", "batch"})
    ->Args({400'000, 100})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Starts the peak over from the current resident set.
void resetPeakResident() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_ResidentMemoryAfterBacklog(benchmark::State& state) {
    const int64_t count = state.range(0);
    constexpr double mebibyte = 1024.0 * 1024.0;
    for (auto _ : state) {
        Library library(100'000'000);
        zqb::bench::FileReader reader(databaseFile());
        const int64_t base = reader.newestRow();
        const double before = zqb::bench::residentBytes();
        const double heapBefore = zqb::bench::heapBytesInUse();
        const int64_t sqliteBefore = sqlite3_memory_used();
        const double rowsBefore = static_cast<double>(zqb::RecordArena::mappedBytes());
        const double poolBefore = static_cast<double>(zqb::BlockPool::mappedBytes());
        const double buffersBefore = static_cast<double>(zqb::MappedBlocks::mappedBytes());
        resetPeakResident();
        for (int64_t index = 0; index < count; ++index) {
            zqb::bench::recordMatchFinished(index);
        }
        zqb::QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
        if (!zqb::test::waitUntil([&] { return reader.newestRow() >= base + count; },
                                  std::chrono::seconds(120))) {
            state.SkipWithError("the file does not hold every event");
            break;
        }
        // Time for whatever gives memory back once the queue is idle.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const double after = zqb::bench::residentBytes();
        state.counters["rss_before_MiB"] = before / mebibyte;
        state.counters["rss_growth_MiB"] = (after - before) / mebibyte;
        const double peak = zqb::bench::peakResidentBytes();
        state.counters["rss_peak_growth_MiB"] = (peak - before) / mebibyte;
        state.counters["rss_given_back_MiB"] = (peak - after) / mebibyte;
        state.counters["heap_growth_MiB"] = (zqb::bench::heapBytesInUse() - heapBefore) / mebibyte;
        state.counters["sqlite_growth_MiB"] =
            static_cast<double>(sqlite3_memory_used() - sqliteBefore) / mebibyte;
        state.counters["rows_growth_MiB"] =
            (static_cast<double>(zqb::RecordArena::mappedBytes()) - rowsBefore) / mebibyte;
        state.counters["buffers_growth_MiB"] =
            (static_cast<double>(zqb::MappedBlocks::mappedBytes()) - buffersBefore) / mebibyte;
        // The queued calls' slabs that the drained backlog left mapped.
        state.counters["queued_growth_MiB"] =
            (static_cast<double>(zqb::BlockPool::mappedBytes()) - poolBefore) / mebibyte;
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ResidentMemoryAfterBacklog)
    ->Arg(100'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

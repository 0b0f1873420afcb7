// A game's frame loop on the host's main thread while the library stores bursts of events posted from
// another host thread. Each frame allocates 48 buffers of one to eight kilobytes, writes them and frees them,
// on a heap of the given size that page-sized blocks have fragmented (three of every four freed, the fourth
// kept), as a game's heap is. The library has no business in the host's heap: whatever it does with its own
// memory while it stores three bursts of 6,000 events, a frame should cost what its allocations cost.
// Counters: the worst frame, the 99th percentile and the median, in milliseconds.
//
//   build/normal/bench/HostFrameBench
#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include "BenchLibrary.hpp"
#include "BenchWorkload.hpp"
#include "foundation/QueueManager.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBursts = 3;
constexpr int kEventsPerBurst = 6'000;
constexpr int kAllocationsPerFrame = 48;
constexpr std::size_t kPage = 4096;

// The heap as a long-running host leaves it: `bytes` of page-sized blocks, three of every four freed, so
// that its free memory lies in holes of a few pages between blocks still in use.
std::vector<std::unique_ptr<char[]>> fragmentHeap(std::size_t bytes) {
    std::vector<std::unique_ptr<char[]>> blocks(bytes / kPage);
    for (auto& block : blocks) {
        block.reset(new char[kPage]);
        std::memset(block.get(), 1, kPage);
    }
    std::vector<std::unique_ptr<char[]>> kept;
    for (std::size_t index = 0; index < blocks.size(); ++index) {
        if (index % 4 == 0) {
            kept.push_back(std::move(blocks[index]));
        }
    }
    return kept;
}

// One frame's allocations, written and freed; its time in milliseconds.
double frame(std::vector<char*>& buffers) {
    const auto start = Clock::now();
    for (int index = 0; index < kAllocationsPerFrame; ++index) {
        const std::size_t size = 1024 + static_cast<std::size_t>(index) * 1361 % (7 * 1024);
        buffers[static_cast<std::size_t>(index)] = new char[size];
        std::memset(buffers[static_cast<std::size_t>(index)], index, size);
    }
    benchmark::DoNotOptimize(buffers.data());
    for (char* buffer : buffers) {
        delete[] buffer;
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void BM_HostFramesWhileTheLibraryStoresBursts(benchmark::State& state) {
    const auto heapBytes = static_cast<std::size_t>(state.range(0)) * 1024 * 1024;
    for (auto _ : state) {
        state.PauseTiming();
        // A batch size that never fills: nothing is sent.
        zqb::bench::Library library(100'000'000);
        const auto kept = fragmentHeap(heapBytes);
        std::atomic<bool> stored{false};
        state.ResumeTiming();
        std::thread poster([&] {
            for (int burst = 0; burst < kBursts; ++burst) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                for (int index = 0; index < kEventsPerBurst; ++index) {
                    zqb::bench::recordMatchFinished(index);
                }
                zqb::QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
            }
            // The frames after the last burst's queue has run empty.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            stored = true;
        });
        std::vector<double> frames;
        frames.reserve(1 << 16);
        std::vector<char*> buffers(kAllocationsPerFrame);
        while (!stored.load()) {
            frames.push_back(frame(buffers));
            // The rest of the frame is the game's own work, not the heap's.
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        poster.join();
        state.PauseTiming();
        std::sort(frames.begin(), frames.end());
        const auto at = [&](double fraction) {
            return frames[static_cast<std::size_t>(fraction * static_cast<double>(frames.size() - 1))];
        };
        state.counters["frames"] = static_cast<double>(frames.size());
        state.counters["worst_frame_ms"] = frames.back();
        state.counters["p99_frame_ms"] = at(0.99);
        state.counters["p50_frame_ms"] = at(0.50);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_HostFramesWhileTheLibraryStoresBursts)
    ->ArgName("heap_MiB")
    ->Arg(64)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

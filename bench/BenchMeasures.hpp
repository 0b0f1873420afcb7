#pragma once

// Measures the benchmarks report beside their times: the process's resident memory, the bytes the allocator
// has handed out and not had back, and the percentiles of per-call latencies.

#include "support/ProcessMemory.hpp"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace zqb::bench {

using test::peakResidentBytes;
using test::residentBytes;

// The bytes in use in the allocator's heap: every arena's allocated chunks and the blocks mapped on their
// own (large vectors). Unlike the resident set it is blind to freed memory that the allocator keeps, so the
// two side by side tell the live data from the allocator's slack and fragmentation.
inline double heapBytesInUse() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd);
}

// Latencies of single calls on one thread, in nanoseconds. Room for the samples is made, and written once,
// before the timed loop: recording one then costs neither an allocation nor a page fault, whose kernel work
// would otherwise land in the timed calls of the other threads.
class LatencySamples {
public:
    explicit LatencySamples(std::size_t capacity) : samples_(capacity) {}

    template <typename Call>
    void time(Call&& call) {
        const auto start = std::chrono::steady_clock::now();
        call();
        const auto end = std::chrono::steady_clock::now();
        if (recorded_ < samples_.size()) {
            samples_[recorded_++] = static_cast<double>((end - start).count());
        }
    }

    // The median, the 99th and the 99.9th percentile of this thread's calls, averaged over the benchmark's
    // threads. The last shows what the rarer slow calls cost (a slab of memory mapped, a preemption).
    void report(benchmark::State& state) {
        samples_.resize(recorded_);
        if (samples_.empty()) {
            return;
        }
        state.counters["p50_ns"] = benchmark::Counter(at(0.50), benchmark::Counter::kAvgThreads);
        state.counters["p99_ns"] = benchmark::Counter(at(0.99), benchmark::Counter::kAvgThreads);
        state.counters["p999_ns"] = benchmark::Counter(at(0.999), benchmark::Counter::kAvgThreads);
    }

private:
    double at(double fraction) {
        const auto index = static_cast<std::size_t>(fraction * static_cast<double>(samples_.size() - 1));
        std::nth_element(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(index),
                         samples_.end());
        return samples_[index];
    }

    std::vector<double> samples_;
    std::size_t recorded_ = 0;
};

}  // namespace zqb::bench

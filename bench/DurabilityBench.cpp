// How long a stored event waits before it is in the file, and how long the host's thread waits in a stopping
// life-cycle call, while 8 host threads record custom events at a steady 30,000 events/s in all:
// - the stopping call: the main thread leaves the foreground and comes back every 100 ms; each
//   `applicationWillResignActive()` is timed (counters: its median and maximum), and the events recorded
//   and delivered to the gateway per second while the load ran tell that the load was steady and sending
//   kept up with it;
// - the window: a reader of its own polls the newest row id of the file; for every moment it records how
//   many calls had returned, and the window is the longest time until the file held that many rows (plus
//   the calls that were still in flight then, which may stand ahead of them in the queue).
// Both run for `state.range(0)` milliseconds against a loopback gateway; the stopping call with the default
// batch size and with batches of 100.
#include <ZQBAnalytics/ZQBAnalytics.hpp>
#include <ZQBAnalytics/ZQBHost.hpp>

#include "BenchLibrary.hpp"
#include "backend/Config.hpp"
#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "database/Statement.hpp"
#include "support/QueueRunner.hpp"
#include "support/SharedDatabase.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <variant>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kThreads = 8;
constexpr int64_t kEventsPerSecond = 30'000;

using zqb::bench::Library;

// 8 threads, each sending its share of the steady rate in steps of one millisecond, until `stop`.
class Load {
public:
    explicit Load(std::atomic<bool>& stop) {
        for (int thread = 0; thread < kThreads; ++thread) {
            threads_.emplace_back([this, &stop] {
                ZQBCustomEventParameters parameters;
                parameters.add("mode", "duel");
                parameters.add("score", 1234);
                const auto start = Clock::now();
                int64_t sent = 0;
                while (!stop.load()) {
                    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
                    const auto due = static_cast<int64_t>(elapsed * kEventsPerSecond / kThreads);
                    for (; sent < due; ++sent) {
                        inFlight_.fetch_add(1);
                        ZQBAnalytics::customEvent("load", parameters);
                        returned_.fetch_add(1);
                        inFlight_.fetch_sub(1);
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            });
        }
    }
    ~Load() {
        for (auto& thread : threads_) {
            thread.join();
        }
    }
    int64_t returned() const { return returned_.load(); }
    int64_t inFlight() const { return inFlight_.load(); }

private:
    std::atomic<int64_t> returned_{0};
    std::atomic<int64_t> inFlight_{0};
    std::vector<std::thread> threads_;
};

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

void BM_StoppingCallUnderLoad(benchmark::State& state) {
    // The events are also packed into reports and sent meanwhile.
    Library library(state.range(1));
    std::vector<double> waits;
    double recorded = 0;
    double delivered = 0;
    double seconds = 0;
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        {
            const std::size_t deliveredBefore = library.received();
            const auto start = Clock::now();
            Load load(stop);
            const auto end = start + std::chrono::milliseconds(state.range(0));
            while (Clock::now() < end) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                const auto before = Clock::now();
                ZQBHost::applicationWillResignActive();
                waits.push_back(std::chrono::duration<double, std::milli>(Clock::now() - before).count());
                ZQBHost::applicationDidBecomeActive();
            }
            recorded += static_cast<double>(load.returned());
            delivered += static_cast<double>(library.received() - deliveredBefore);
            seconds += std::chrono::duration<double>(Clock::now() - start).count();
            stop = true;
        }
        zqb::test::settleAll();
    }
    state.counters["stop_median_ms"] = percentile(waits, 0.5);
    state.counters["stop_p99_ms"] = percentile(waits, 0.99);
    state.counters["stop_max_ms"] = percentile(waits, 1.0);
    state.counters["stops"] = static_cast<double>(waits.size());
    // The load as it ran, and what reached the gateway while it ran: a backlog shows as a gap between them.
    state.counters["recorded_per_s"] = recorded / seconds;
    state.counters["delivered_per_s"] = delivered / seconds;
}

// The newest row id of the events table, read by a connection of the bench's own.
int64_t newestRow(zqb::Connection& reader) {
    zqb::Statement statement(reader, "SELECT max(id) FROM events");
    if (statement.step()) {
        const auto value = statement.cursor().row().at(0);
        if (value && std::holds_alternative<int64_t>(*value)) {
            return std::get<int64_t>(*value);
        }
    }
    return 0;
}

void BM_CommitWindowUnderLoad(benchmark::State& state) {
    // Nothing is sent: the rows stay in the table, one new row id per stored event.
    Library library(100'000'000);
    zqb::Connection reader((*zqb::test::databaseFolder() / zqb::SQLiteProvider::fileName).string());
    std::vector<double> windows;
    for (auto _ : state) {
        const int64_t base = newestRow(reader);
        std::atomic<bool> stop{false};
        // Moments of the run: when, and how many rows the file must hold for every call returned by then.
        std::vector<std::pair<Clock::time_point, int64_t>> owed;
        std::vector<std::pair<Clock::time_point, int64_t>> seen;
        {
            Load load(stop);
            const auto end = Clock::now() + std::chrono::milliseconds(state.range(0));
            while (Clock::now() < end) {
                const auto now = Clock::now();
                owed.emplace_back(now, load.returned() + load.inFlight());
                seen.emplace_back(now, newestRow(reader) - base);
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
            stop = true;
        }
        zqb::test::settleAll();
        std::size_t next = 0;
        for (const auto& [when, rows] : owed) {
            while (next < seen.size() && (seen[next].first < when || seen[next].second < rows)) {
                ++next;
            }
            if (next == seen.size()) {
                break;  // the end of the run: what was still pending is not measured
            }
            windows.push_back(std::chrono::duration<double, std::milli>(seen[next].first - when).count());
        }
    }
    state.counters["window_median_ms"] = percentile(windows, 0.5);
    state.counters["window_p99_ms"] = percentile(windows, 0.99);
    state.counters["window_max_ms"] = percentile(windows, 1.0);
}

}  // namespace

BENCHMARK(BM_StoppingCallUnderLoad)
    ->ArgNames({"ms", "batch"})
    ->Args({10'000, 10})  // the default batch size
    ->Args({10'000, 100})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_CommitWindowUnderLoad)->Arg(10'000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();

// Cost on the caller's thread of one `ZQBAnalytics::customEvent` call, from one host thread and from eight
// host threads at once, with the core started and a counting logic in place of the real one: the figures
// are the public front alone (argument copy, repair of the texts, queuing), not the event's storage. The
// income queue checks and hands on the calls concurrently, so the figures include what the callers share
// with its worker (the list's head, the recycled memory of the operations, waking it). The backlog is
// drained, untimed, after each run.
#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include "BenchMeasures.hpp"
#include "BenchWorkload.hpp"
#include "core/Core.hpp"
#include "foundation/QueueManager.hpp"
#include "support/RecordingAnalyticsLogic.hpp"
#include "support/ScopedEnvironment.hpp"

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>

namespace {

// Counts the custom events that reach it and records nothing.
class CountingLogic final : public zqb::test::RecordingAnalyticsLogic {
public:
    void customEvent(std::string, zqb::AnyCodableMap) override { ++events; }
    std::atomic<int64_t> events{0};
};

std::shared_ptr<CountingLogic> startedCore() {
    static const auto logic = [] {
        static zqb::test::ScopedEnvironment environment;
        auto counting = std::make_shared<CountingLogic>();
        zqb::LogicFactory factory;
        factory.analyticsLogic = [counting](const auto&,
                                            const auto&) -> std::shared_ptr<zqb::AnalyticsLogicProtocol> {
            return counting;
        };
        zqb::Core::setLogicFactory(std::move(factory));
        ZQBAnalytics::initialize("bench-application-key");
        zqb::QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
        return counting;
    }();
    return logic;
}

void drainAfterRun(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        zqb::QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
    }
}

void BM_CustomEventNameOnly(benchmark::State& state) {
    startedCore();
    for (auto _ : state) {
        ZQBAnalytics::customEvent("level_completed_with_bonus");
    }
    drainAfterRun(state);
}
BENCHMARK(BM_CustomEventNameOnly)->Threads(1)->Threads(8)->UseRealTime();

// Five parameters of the four kinds, read from the host's parameter set at each call.
void BM_CustomEventWithFiveParameters(benchmark::State& state) {
    startedCore();
    ZQBCustomEventParameters parameters;
    parameters.add("score", int64_t{12345});
    parameters.add("ratio", 0.75);
    parameters.add("hard_mode", true);
    parameters.add("weapon", "plasma rifle");
    parameters.add("zone", "north-east");
    for (auto _ : state) {
        ZQBAnalytics::customEvent("level_completed_with_bonus", parameters);
    }
    drainAfterRun(state);
}
BENCHMARK(BM_CustomEventWithFiveParameters)->Threads(1)->Threads(8)->UseRealTime();

// The latency of single calls with the three parameters of the usual workload (a text, an integer and a
// real), timed one by one: the median and the 99th percentile, from one thread and from eight.
void BM_CustomEventCallLatency(benchmark::State& state) {
    startedCore();
    ZQBCustomEventParameters parameters;
    parameters.add("mode", "duel");
    parameters.add("score", int64_t{1234});
    parameters.add("ratio", 0.75);
    zqb::bench::LatencySamples samples(2'000'000);
    for (auto _ : state) {
        samples.time([&] { ZQBAnalytics::customEvent("match_finished", parameters); });
    }
    samples.report(state);
    drainAfterRun(state);
}
BENCHMARK(BM_CustomEventCallLatency)->Threads(1)->Threads(8)->UseRealTime();

// The usual workload's call as a user writes it: the parameter set (a text, an integer and a boolean) is
// built by the caller inside the timed call, then passed. Timed one by one, from one thread and from eight.
void BM_CustomEventBuildingParameters(benchmark::State& state) {
    startedCore();
    zqb::bench::LatencySamples samples(2'000'000);
    int64_t score = 0;
    for (auto _ : state) {
        samples.time([&] { zqb::bench::recordMatchFinished(++score); });
    }
    samples.report(state);
    drainAfterRun(state);
}
BENCHMARK(BM_CustomEventBuildingParameters)->Threads(1)->Threads(8)->UseRealTime();

// The same timing around nothing: the floor that preemption and the clock put under the percentiles above
// on a machine shared with other work.
void BM_LatencyFloor(benchmark::State& state) {
    zqb::bench::LatencySamples samples(2'000'000);
    for (auto _ : state) {
        samples.time([] { benchmark::ClobberMemory(); });
    }
    samples.report(state);
}
BENCHMARK(BM_LatencyFloor)->Threads(1)->Threads(8)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

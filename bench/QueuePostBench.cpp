// Cost of handing one operation to a serial queue, as every public call does through the proxy: from one
// host thread, and from eight host threads posting onto the same queue at once. The worker runs the
// operations concurrently, so the figures include its contention on the queue's lock.
#include "foundation/QueueManager.hpp"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

zqb::QueueManager& benchQueue() {
    static zqb::QueueManager queue("bench.post");
    return queue;
}

// An empty operation: the bare cost of the queue.
void BM_PostEmptyOperation(benchmark::State& state) {
    auto& queue = benchQueue();
    for (auto _ : state) {
        queue.addOperation([] {});
    }
    state.SetItemsProcessed(state.iterations());
    // Untimed (the loop has ended for every thread): the backlog is drained before the next run.
    if (state.thread_index() == 0) {
        queue.waitUntilAllOperationsAreFinished();
    }
}
BENCHMARK(BM_PostEmptyOperation)->Threads(1)->Threads(8)->UseRealTime();

struct Owner {
    int64_t calls = 0;
};

// What a public call posts: a weak reference to its owner and a copy of its arguments.
void BM_PostProxyLikeOperation(benchmark::State& state) {
    auto& queue = benchQueue();
    static auto owner = std::make_shared<Owner>();
    const std::string eventName = "level_completed_with_bonus";
    for (auto _ : state) {
        queue.addOperation([weak = std::weak_ptr<Owner>(owner), name = eventName] {
            if (auto strong = weak.lock()) {
                strong->calls += static_cast<int64_t>(name.size());
            }
        });
    }
    state.SetItemsProcessed(state.iterations());
    // Untimed (the loop has ended for every thread): the backlog is drained before the next run.
    if (state.thread_index() == 0) {
        queue.waitUntilAllOperationsAreFinished();
    }
}
BENCHMARK(BM_PostProxyLikeOperation)->Threads(1)->Threads(8)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

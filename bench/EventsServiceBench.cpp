// Events stored per second through the events service: each stored event is one insert into the real
// database (WAL, in a temporary folder), its log line (dropped: no log closure is installed) and the count of
// the user's buffered events over the repository's cache.
//
// The full-stack callback deletes the user's buffered events, as the report service's packing does, so the
// table stays at the size a running application keeps (at most `countForRequest` rows per user). The
// argument is the number of rows of other users left in the table (unsent events of inactive users), which
// the count walks past for every event.
#include "model/Tutorial.hpp"
#include "services/EventsService.hpp"
#include "support/ServiceTestBed.hpp"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

void BM_AddEvent(benchmark::State& state) {
    zqb::test::ServiceTestBed bed;
    zqb::Config config;
    config.countForRequest = 10;
    bed.setConfig(config);

    const auto other = bed.addUser("inactive");
    const zqb::Tutorial filler(1700000000000, 1700000000000, 1, 1);
    zqb::EventsService service(bed.state, bed.eventRepository);
    const auto otherRows = state.range(0);
    for (int64_t i = 0; i < otherRows; ++i) {
        service.addEvent(filler, *other);
    }

    const int64_t userId = bed.user()->idKey;
    const auto repository = bed.eventRepository;
    service.setOnFullStackAction([repository, userId] {
        zqb::EventRepository::Cache own;
        for (const auto& event : repository->list()) {
            if (event->userId == userId) {
                own.push_back(event);
            }
        }
        repository->deleteItems(own);
    });

    const zqb::Tutorial event(1700000000000, 1700000000000, 3, 5);
    for (auto _ : state) {
        service.addEvent(event);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddEvent)->Arg(0)->Arg(1000)->Arg(10000)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

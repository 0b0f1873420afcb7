// Time from `initialize` to the end of the start-up operation on the income queue, with a fresh data folder
// (the database and its schema are created) and with an existing one (project, user and device ids are
// found again). The destroy between runs is not timed.
#include "core/Core.hpp"
#include "core/QueueManager.hpp"
#include "database/SQLiteProvider.hpp"
#include "support/ScopedEnvironment.hpp"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace {

constexpr const char* kKey = "bench-application-key";

void drain() {
    zqb::QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
}

// Destroys the running core; its deinit line is kept out of the benchmark's report.
void destroyQuietly() {
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    zqb::Core::destroy();
    drain();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(null);
    close(saved);
}

void startUp(benchmark::State& state, bool freshFolder) {
    zqb::test::ScopedEnvironment environment;
    const auto folder = environment.directory() / zqb::SQLiteProvider::folderName;
    // One start to leave a database behind for the runs on an existing folder.
    zqb::Core::shared()->initialize(kKey, std::nullopt);
    drain();
    for (auto _ : state) {
        state.PauseTiming();
        destroyQuietly();
        if (freshFolder) {
            std::filesystem::remove_all(folder);
        }
        const auto core = zqb::Core::shared();
        state.ResumeTiming();
        core->initialize(kKey, std::nullopt);
        drain();
    }
    destroyQuietly();
}

void BM_StartUpFreshDataFolder(benchmark::State& state) {
    startUp(state, true);
}
void BM_StartUpExistingDataFolder(benchmark::State& state) {
    startUp(state, false);
}

}  // namespace

BENCHMARK(BM_StartUpFreshDataFolder)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StartUpExistingDataFolder)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();

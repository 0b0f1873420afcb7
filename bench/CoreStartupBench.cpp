// Time from `initialize` to the end of the start-up operation on the income queue, and from `initialize` to
// the first event committed to the file (a custom event made right after it), with a fresh data folder (the
// database and its schema are created) and with an existing one (project, user and device ids are found
// again). The destroy between runs is not timed.
#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include "core/Core.hpp"
#include "database/SQLiteProvider.hpp"
#include "foundation/QueueManager.hpp"
#include "support/ScopedEnvironment.hpp"

#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

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

// The rows of the events table, read through a connection of its own: what the file holds.
int64_t eventsInFile(const std::filesystem::path& file) {
    sqlite3* handle = nullptr;
    int64_t count = -1;
    if (sqlite3_open_v2(file.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(handle, "SELECT COUNT(*) FROM events", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            count = sqlite3_column_int64(statement, 0);
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(handle);
    return count;
}

// Whether the first event is in the file, waiting up to a second for it; one that arrives late is counted.
bool eventReachesFile(const std::filesystem::path& file, int64_t& late) {
    if (eventsInFile(file) >= 1) {
        return true;
    }
    ++late;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (eventsInFile(file) >= 1) {
            return true;
        }
    }
    return false;
}

// Every run starts from the same folder: none, or the one the first start left (so that the events and
// reports of earlier runs do not pile up and slow the later ones).
void startUp(benchmark::State& state, bool freshFolder, bool firstEvent) {
    zqb::test::ScopedEnvironment environment;
    const auto folder = environment.directory() / zqb::SQLiteProvider::folderName;
    const auto existing = environment.directory() / "existing-folder";
    zqb::Core::shared()->initialize(kKey, std::nullopt);
    drain();
    destroyQuietly();
    std::filesystem::copy(folder, existing, std::filesystem::copy_options::recursive);
    int64_t late = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(folder);
        if (!freshFolder) {
            std::filesystem::copy(existing, folder, std::filesystem::copy_options::recursive);
        }
        const auto core = zqb::Core::shared();
        state.ResumeTiming();
        core->initialize(kKey, std::nullopt);
        if (firstEvent) {
            ZQBAnalytics::customEvent("first_event");
        }
        drain();
        state.PauseTiming();
        if (firstEvent && !eventReachesFile(folder / zqb::SQLiteProvider::fileName, late)) {
            state.SkipWithError("the first event is not in the file");
            destroyQuietly();
            break;
        }
        destroyQuietly();
        state.ResumeTiming();
    }
    // Starts whose first event was not yet in the file when the income queue was empty: the time measured
    // for them stops short of the file.
    state.counters["late"] = static_cast<double>(late);
}

void BM_StartUpFreshDataFolder(benchmark::State& state) {
    startUp(state, true, false);
}
void BM_StartUpExistingDataFolder(benchmark::State& state) {
    startUp(state, false, false);
}
void BM_FirstStoredEventFreshDataFolder(benchmark::State& state) {
    startUp(state, true, true);
}
void BM_FirstStoredEventExistingDataFolder(benchmark::State& state) {
    startUp(state, false, true);
}

}  // namespace

// Repeated, with the median reported: single start-ups on a shared machine have long tails.
BENCHMARK(BM_StartUpFreshDataFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_StartUpExistingDataFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_FirstStoredEventFreshDataFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_FirstStoredEventExistingDataFolder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5);
BENCHMARK_MAIN();

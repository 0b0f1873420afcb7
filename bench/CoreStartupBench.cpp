// Time from `initialize` to the end of the start-up operation on the income queue, and from `initialize` to
// the commit that puts the first event in the file (a custom event made right after it), with a fresh data
// folder (the database and its schema are created) and with an existing one (project, user and device ids are
// found again). The library talks to a loopback gateway that answers at once. The destroy between runs is not
// timed.
#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include "backend/Config.hpp"
#include "core/Core.hpp"
#include "database/SQLiteProvider.hpp"
#include "foundation/QueueManager.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/QueueRunner.hpp"
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

// Destroys the running core (its deinit line is kept out of the benchmark's report) and waits until its
// connection to the database has closed, which SQLite marks by removing the write-ahead log. The released
// core lives on until its requests are answered; a connection still open when the next run replaces the
// folder would, on closing, remove that run's log and shared memory by their names, and what reads the file
// next would fail.
void destroyQuietly(const std::filesystem::path& folder) {
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    zqb::Core::destroy();
    zqb::test::settleAll();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(null);
    close(saved);
    const auto log = folder / (std::string(zqb::SQLiteProvider::fileName) + "-wal");
    for (int attempt = 0; attempt < 5000 && std::filesystem::exists(log); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Watches the file, through a read-only connection of its own, for the custom event the run makes: the
// moment it is found is the moment it was committed, within the pause between two queries. The
// connection is opened only once the library's own has created the write-ahead log, so that it never is the
// first to open the file.
class EventWatcher {
public:
    explicit EventWatcher(std::filesystem::path folder)
        : file_(folder / zqb::SQLiteProvider::fileName),
          log_(folder / (std::string(zqb::SQLiteProvider::fileName) + "-wal")) {}
    ~EventWatcher() { close(); }
    EventWatcher(const EventWatcher&) = delete;
    EventWatcher& operator=(const EventWatcher&) = delete;

    bool found() {
        if (statement_ == nullptr && !open()) {
            return false;
        }
        const bool row = sqlite3_step(statement_) == SQLITE_ROW;
        sqlite3_reset(statement_);
        return row;
    }

    // Polls every `pause` for up to `limit`. Polled without pause, the queries would slow the library down:
    // connections of one process share SQLite's locks on the file.
    bool waitFor(std::chrono::microseconds pause, std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!found()) {
            if (std::chrono::steady_clock::now() > until) {
                return false;
            }
            std::this_thread::sleep_for(pause);
        }
        return true;
    }

private:
    bool open() {
        std::error_code missing;
        if (!std::filesystem::exists(log_, missing)) {
            return false;
        }
        if (sqlite3_open_v2(file_.c_str(), &handle_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
            sqlite3_prepare_v2(handle_, "SELECT 1 FROM events WHERE eventJson LIKE '%first_event%'", -1,
                               &statement_, nullptr) != SQLITE_OK) {
            close();
            return false;
        }
        return true;
    }
    void close() {
        sqlite3_finalize(statement_);
        statement_ = nullptr;
        sqlite3_close(handle_);
        handle_ = nullptr;
    }

    std::filesystem::path file_;
    std::filesystem::path log_;
    sqlite3* handle_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
};

// Every run starts from the same folder: none, or the one the first start left (so that the events and
// reports of earlier runs do not pile up and slow the later ones).
void startUp(benchmark::State& state, bool freshFolder, bool firstEvent) {
    zqb::test::LoopbackGateway gateway;
    gateway.setReply("/v2/analytics/config", {200, zqb::Config::defaulConfiguration().toJson().dump()});
    gateway.setReply("/v2/analytics/identification", {200, "{}"});
    gateway.setReply("/v2/analytics/report", {200, "{}"});
    ZQBAnalytics::setTestProxyUrl(gateway.baseUrl());
    zqb::test::ScopedEnvironment environment;
    const auto folder = environment.directory() / zqb::SQLiteProvider::folderName;
    const auto existing = environment.directory() / "existing-folder";
    zqb::Core::shared()->initialize(kKey, std::nullopt);
    drain();
    destroyQuietly(folder);
    std::filesystem::copy(folder, existing, std::filesystem::copy_options::recursive);
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(folder);
        if (!freshFolder) {
            std::filesystem::copy(existing, folder, std::filesystem::copy_options::recursive);
        }
        // Made before the clock runs, and not held: the destroy below must be able to release it.
        zqb::Core::shared();
        bool stored = true;
        {
            EventWatcher watcher(folder);
            state.ResumeTiming();
            zqb::Core::shared()->initialize(kKey, std::nullopt);
            if (firstEvent) {
                ZQBAnalytics::customEvent("first_event");
                stored = watcher.waitFor(std::chrono::microseconds(50), std::chrono::seconds(5));
            } else {
                drain();
            }
            state.PauseTiming();
        }
        drain();
        destroyQuietly(folder);
        if (!stored) {
            state.SkipWithError("the first event is not in the file");
            break;
        }
        state.ResumeTiming();
    }
    ZQBAnalytics::setTestProxyUrl("");
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

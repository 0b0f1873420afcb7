// Time from `initialize` to the end of the start-up operation on the income queue, and from `initialize` to
// the commit that puts the first event in the file (a custom event made right after it), with a fresh data
// folder (the database and its schema are created) and with an existing one (project, user and device ids are
// found again). The commit is seen in the bytes of the write-ahead log, or, as an application's own tooling
// would see it, by another connection to the file that looks for the event every millisecond. The library
// talks to a loopback gateway that answers at once. The destroy between runs is not timed.
#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include "backend/Config.hpp"
#include "core/Core.hpp"
#include "database/SQLiteProvider.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "host/FileKeychain.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/QueueRunner.hpp"
#include "support/ScopedEnvironment.hpp"

#include "BenchWorkload.hpp"

#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kKey = "bench-application-key";

// The write-ahead log of the database in `folder`.
std::filesystem::path logIn(const std::filesystem::path& folder) {
    return folder / (std::string(zqb::SQLiteProvider::fileName) + "-wal");
}

void drain() {
    zqb::QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
}

// Whether this process still has a file of `folder` open.
bool holdsFileIn(const std::filesystem::path& folder) {
    const std::string prefix = folder.string() + "/";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code gone;
        const auto target = std::filesystem::read_symlink(entry.path(), gone);
        if (!gone && target.string().rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

// Destroys the running core (its deinit line is kept out of the benchmark's report) and waits until its
// connection to the database has closed its files. The released core lives on until its requests are
// answered; a connection still open when the next run replaces the folder would go on with files that
// are no longer the folder's.
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
    for (int attempt = 0; attempt < 5000 && holdsFileIn(folder); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Watches the write-ahead log for the commit that holds the custom event the run makes: a frame whose page
// holds the event's name, followed (or itself marked) by a frame that ends a commit, both of the log's
// current generation. From then on the event survives the process being killed. The log is read as plain
// bytes: a connection of the benchmark's own would share the library's locks on the file and slow down the
// very opening it measures.
class CommitWatcher {
public:
    CommitWatcher(std::filesystem::path log, std::string needle)
        : log_(std::move(log)), needle_(std::move(needle)) {}

    bool committed() {
        std::ifstream in(log_, std::ios::binary);
        if (!in) {
            return false;
        }
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (bytes_.size() < kHeader) {
            return false;
        }
        const std::size_t pageSize = word(8);
        const uint32_t salt1 = word(16);
        const uint32_t salt2 = word(20);
        if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0) {
            return false;
        }
        bool seen = false;
        for (std::size_t frame = kHeader; frame + kFrameHeader + pageSize <= bytes_.size();
             frame += kFrameHeader + pageSize) {
            if (word(frame + 8) != salt1 || word(frame + 12) != salt2) {
                break;
            }
            const auto page = bytes_.begin() + static_cast<std::ptrdiff_t>(frame + kFrameHeader);
            seen = seen || std::search(page, page + static_cast<std::ptrdiff_t>(pageSize), needle_.begin(),
                                       needle_.end()) != page + static_cast<std::ptrdiff_t>(pageSize);
            if (seen && word(frame + 4) != 0) {
                return true;
            }
        }
        return false;
    }

    // Polls every `pause` for up to `limit`.
    bool waitFor(std::chrono::microseconds pause, std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!committed()) {
            if (std::chrono::steady_clock::now() > until) {
                return false;
            }
            std::this_thread::sleep_for(pause);
        }
        return true;
    }

private:
    static constexpr std::size_t kHeader = 32;
    static constexpr std::size_t kFrameHeader = 24;

    // Big-endian, as SQLite writes the log's numbers.
    uint32_t word(std::size_t at) const {
        uint32_t value = 0;
        for (std::size_t index = 0; index < 4; ++index) {
            value = (value << 8) | static_cast<unsigned char>(bytes_[at + index]);
        }
        return value;
    }

    std::filesystem::path log_;
    std::string needle_;
    std::vector<char> bytes_;
};

// Whether SQLite reads the event from the file once the run is over. The log holds a commit a moment
// before the library's connection publishes it to readers, so a reader may still be shown the file without
// it: asked again for up to a second.
bool eventInFile(const std::filesystem::path& file) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        sqlite3* handle = nullptr;
        bool found = false;
        if (sqlite3_open_v2(file.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* statement = nullptr;
            if (sqlite3_prepare_v2(handle, "SELECT 1 FROM events WHERE eventJson LIKE '%first_event%'", -1,
                                   &statement, nullptr) == SQLITE_OK) {
                found = sqlite3_step(statement) == SQLITE_ROW;
            }
            sqlite3_finalize(statement);
        }
        sqlite3_close(handle);
        if (found) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// Every run starts from the same folder: none, or the one the first start left (so that the events and
// reports of earlier runs do not pile up and slow the later ones). The keychain is the tests' memory one, or
// the Linux file keychain, empty at every run with a fresh folder (a new device).
enum class Keychain { memory, file };
// Where the first event is looked for: in the log's bytes (the moment it is durable), or through a
// connection of the benchmark's own (the moment any reader of the file sees it).
enum class SeenIn { log, reader };
void startUp(benchmark::State& state, bool freshFolder, bool firstEvent, Keychain keychain = Keychain::memory,
             SeenIn seenIn = SeenIn::log) {
    zqb::test::LoopbackGateway gateway;
    gateway.setReply(
        "/v2/analytics/config",
        {200, zqb::Config::defaulConfiguration(*zqb::host::Environment::shared().clock()).toJson().dump()});
    gateway.setReply("/v2/analytics/identification", {200, "{}"});
    gateway.setReply("/v2/analytics/report", {200, "{}"});
    ZQBAnalytics::setTestProxyUrl(gateway.baseUrl());
    zqb::test::ScopedEnvironment environment;
    const auto folder = environment.directory() / zqb::SQLiteProvider::folderName;
    const auto existing = environment.directory() / "existing-folder";
    const auto keychainFile = environment.directory() / "keychain" / "keychain.json";
    if (keychain == Keychain::file) {
        zqb::host::Environment::shared().setKeychain(std::make_shared<zqb::host::FileKeychain>(keychainFile));
    }
    zqb::Core::shared()->initialize(kKey, std::nullopt);
    drain();
    destroyQuietly(folder);
    std::filesystem::copy(folder, existing, std::filesystem::copy_options::recursive);
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(folder);
        if (!freshFolder) {
            std::filesystem::copy(existing, folder, std::filesystem::copy_options::recursive);
        } else if (keychain == Keychain::file) {
            std::filesystem::remove(keychainFile);
        }
        // Made before the clock runs, and not held: the destroy below must be able to release it.
        zqb::Core::shared();
        bool stored = true;
        CommitWatcher watcher(logIn(folder), "first_event");
        std::optional<zqb::bench::FileReader> reader;
        if (seenIn == SeenIn::reader) {
            reader.emplace(folder / zqb::SQLiteProvider::fileName);
        }
        state.ResumeTiming();
        zqb::Core::shared()->initialize(kKey, std::nullopt);
        if (firstEvent && reader) {
            ZQBAnalytics::customEvent("first_event");
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!(stored = reader->newestRowsHold("first_event")) &&
                   std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        } else if (firstEvent) {
            ZQBAnalytics::customEvent("first_event");
            stored = watcher.waitFor(std::chrono::microseconds(20), std::chrono::seconds(5));
        } else {
            drain();
        }
        state.PauseTiming();
        // Closed before the destroy, which waits for the last connection to the file to go.
        reader.reset();
        stored = stored && (!firstEvent || eventInFile(folder / zqb::SQLiteProvider::fileName));
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
void BM_FirstStoredEventNewDeviceFileKeychain(benchmark::State& state) {
    startUp(state, true, true, Keychain::file);
}
void BM_FirstEventSeenByAReaderFreshDataFolder(benchmark::State& state) {
    startUp(state, true, true, Keychain::memory, SeenIn::reader);
}
void BM_FirstEventSeenByAReaderExistingDataFolder(benchmark::State& state) {
    startUp(state, false, true, Keychain::memory, SeenIn::reader);
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
BENCHMARK(BM_FirstStoredEventNewDeviceFileKeychain)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5);
BENCHMARK(BM_FirstEventSeenByAReaderFreshDataFolder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9);
BENCHMARK(BM_FirstEventSeenByAReaderExistingDataFolder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9);
BENCHMARK_MAIN();

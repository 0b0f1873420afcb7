// Time from `initialize` in a new host process to the first moment another process's SQLite connection of the
// file finds the host's first event, as an application's own tooling would: a read-only connection opened
// every millisecond, looking for the event among the latest rows. Measured with a fresh data folder on a new
// device (no keychain file, no data folder: the database, the keychain file and the vendor id are made) and
// with the folder and keychain a first run of the host left (the run before is not timed).
//
// Each run starts this program again as the host, with a data directory of its own (XDG_DATA_HOME). The host
// reads the monotonic clock just before `initialize`, becomes active, records one custom event, writes the
// time it read to a file beside the data, and stays until this program has seen the event. Its gateway is a
// closed port on the loopback: requests fail at once, as they would on a device without a network.
//
//   FirstEventInAnotherProcessBench [--runs N] [--fresh-only | --existing-only]
//
// Prints, for each case, the median, the quartiles and the extremes of the N runs, in milliseconds.
#include <ZQBAnalytics/ZQBAnalytics.hpp>
#include <ZQBAnalytics/ZQBHost.hpp>

#include "support/ChildProcess.hpp"
#include "support/TempDir.hpp"

#include <sqlite3.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kBundleIdentifier = "com.example.firstevent";
// How long a host waits for the reader at most, and the reader for the event.
constexpr std::chrono::seconds kPatience{10};

double monotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

fs::path startFile(const fs::path& directory) {
    return directory / "initialize-ms";
}

fs::path stopFile(const fs::path& directory) {
    return directory / "seen";
}

fs::path databaseFile(const fs::path& directory) {
    return directory / kBundleIdentifier / "vorantel" / "vorantel.db";
}

// The host: `--host <directory> <event name>`.
int runHost(const fs::path& directory, const std::string& eventName) {
    ZQBHost::setBundleInfo("FirstEvent", kBundleIdentifier, "1.0", "1");
    ZQBAnalytics::setTestProxyUrl("http://127.0.0.1:9");
    const double start = monotonicMilliseconds();
    ZQBAnalytics::initialize("first-event-key");
    ZQBHost::applicationDidBecomeActive();
    ZQBAnalytics::customEvent(eventName);
    {
        std::ofstream out(startFile(directory));
        out.precision(17);
        out << start << '\n';
    }
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!fs::exists(stopFile(directory)) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
}

// One look, as a tool would take it: a read-only connection of its own, closed again.
bool eventIsInTheFile(const fs::path& file, const std::string& eventName) {
    if (!fs::exists(file)) {
        return false;
    }
    const std::string uri = "file:" + file.string() + "?mode=ro";
    sqlite3* connection = nullptr;
    bool found = false;
    if (sqlite3_open_v2(uri.c_str(), &connection, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(connection, "SELECT eventJson FROM events ORDER BY id DESC LIMIT 16", -1,
                               &statement, nullptr) == SQLITE_OK) {
            while (!found && sqlite3_step(statement) == SQLITE_ROW) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
                found = text != nullptr && std::string(text).find(eventName) != std::string::npos;
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(connection);
    return found;
}

// Runs a host that records `eventName` in `directory` and answers when another connection first found the
// event, in milliseconds after the host's `initialize`; nothing when it was not found in time.
std::optional<double> timedRun(const fs::path& directory, const std::string& eventName) {
    const pid_t host =
        zqb::test::spawnSelf({"FirstEventInAnotherProcessBench", "--host", directory.string(), eventName},
                             zqb::test::currentEnvironment({}, {"XDG_DATA_HOME=" + directory.string()}));
    const fs::path file = databaseFile(directory);
    std::optional<double> seen;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
        if (eventIsInTheFile(file, eventName)) {
            seen = monotonicMilliseconds();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::ofstream(stopFile(directory)).put('\n');
    const bool ended = zqb::test::waitForSuccess(host);
    double start = 0;
    std::ifstream in(startFile(directory));
    if (!seen || !ended || !(in >> start)) {
        return std::nullopt;
    }
    fs::remove(startFile(directory));
    fs::remove(stopFile(directory));
    return *seen - start;
}

double quantile(const std::vector<double>& sorted, double q) {
    const double position = q * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(position);
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (sorted[above] - sorted[below]) * (position - static_cast<double>(below));
}

bool measure(const char* label, int runs, bool existing) {
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        zqb::test::TempDir directory;
        if (existing && !timedRun(directory.path(), "first_run")) {
            std::fprintf(stderr, "%s: the first run of the host failed\n", label);
            return false;
        }
        const auto time = timedRun(directory.path(), "probe_" + std::to_string(run));
        if (!time) {
            std::fprintf(stderr, "%s: run %d: the event was not seen\n", label, run);
            return false;
        }
        times.push_back(*time);
    }
    std::sort(times.begin(), times.end());
    std::printf("%-32s runs %3zu  median %6.2f ms  quartiles %6.2f %6.2f  min %6.2f  max %6.2f\n", label,
                times.size(), quantile(times, 0.5), quantile(times, 0.25), quantile(times, 0.75),
                times.front(), times.back());
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 3 && arguments[0] == "--host") {
        return runHost(arguments[1], arguments[2]);
    }
    int runs = 15;
    bool fresh = true;
    bool existing = true;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--runs" && i + 1 < arguments.size()) {
            runs = std::max(1, std::atoi(arguments[++i].c_str()));
        } else if (arguments[i] == "--fresh-only") {
            existing = false;
        } else if (arguments[i] == "--existing-only") {
            fresh = false;
        } else {
            std::fprintf(stderr, "usage: %s [--runs N] [--fresh-only | --existing-only]\n", argv[0]);
            return 2;
        }
    }
    const bool passed = (!fresh || measure("fresh folder, new device", runs, false)) &&
                        (!existing || measure("existing folder", runs, true));
    return passed ? 0 : 1;
}

// A host that leaves without destroying the library, on real processes.
//
// Most hosts return from `main` (or call `exit()`) right after the stopping calls, while the library's
// threads are still at work: here the gateway refuses every report (HTTP 503, after a short delay), so
// reports are in flight and being retried as the process ends. Each child host logs through a closure that
// writes to static objects of its own (a string and a file stream built before `main`, and a string built
// inside the closure at its first call), takes a while to end after those are destroyed, prints two lines to
// its buffered standard output, records events, makes the stopping calls and leaves: by returning from
// `main`, by `exit()`, or by returning right after `destroySDK()`.
//
// One more host returns from `main` while the library is still logging every event it records, through a
// closure that uses an object the host built after the library's start-up (destroyed early in the exit, and
// slowly): the closure must not be called once that object is being destroyed.
//
// Two more kinds of host leave early. One returns from `main` the moment the first answer of the library has
// reached it, while the start-up's first requests are only being set up. One returns while a completion
// handler of its own is still busy on a library thread: the exit waits for it a few seconds, not longer.
//
// One more forks children that call `exit()` at once while its own thread records events and reports are
// refused: a child's exit must not wait for the parent's threads, which it does not have, nor for a lock one
// of them held at the fork.
//
// Two more return from `main`, or call `exit()`, right after their last event, with no stopping call and
// usually before the library's start-up has run: the file must then hold every event they reported and the
// session's start. Their exit is timed, from the last event to the end of the host's statics.
//
// Every child must end within two minutes (a host whose handler is busy, within twenty seconds) with status
// 0, no sanitizer report on its standard error, each of its own lines exactly once on its standard output
// (the library adds at most its deinit line), and a database that passes SQLite's integrity check and still
// holds every event recorded before the stopping calls.
//
//   zqb_exit_test [--runs N] [--exit-runs N] [--destroy-runs N] [--answered-runs N] [--busy-runs N]
//                 [--late-runs N] [--unstopped-runs N] [--fork-runs N] [--jobs J] [--events E]
#include "backend/Config.hpp"
#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "database/Statement.hpp"
#include "host/Environment.hpp"
#include "process/ExitHost.hpp"
#include "support/ChildProcess.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/TempDir.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

extern char** environ;

namespace {

using zqb::test::exit_host::kBundleIdentifier;
using zqb::test::exit_host::kEventName;
constexpr const char* kDeinitLine = "ZQBAnalytics deinit Core module";

// ---- The parent -------------------------------------------------------------------------------------------

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers' allocators take locks of their own (for an allocation's stack, for returning memory to a
// size class) that a thread of the parent may hold at the fork, for ever in the child, whose next allocation
// or free then waits: the sanitizer, not the library, cannot be forked while threads allocate. The C
// library's allocator can; the normal build plays the forking host.
constexpr int kForkRuns = 0;
#else
constexpr int kForkRuns = 2;
#endif

struct Options {
    int runs = 30;
    int exitRuns = 10;
    int destroyRuns = 10;
    int answeredRuns = 30;
    int busyRuns = 2;
    int lateRuns = 10;
    // Of each kind: returning from `main`, calling `exit()`.
    int unstoppedRuns = 5;
    int forkRuns = kForkRuns;
    int jobs = 4;
    int events = 200;
};

struct Child {
    std::string mode;
    std::filesystem::path folder;
    pid_t pid = -1;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

// A child that has not ended by then hangs in its exit: it is killed and counted as a crash.
constexpr auto kLongestChild = std::chrono::seconds(120);
// A host whose handler is still busy must not wait for it for more than a few seconds.
constexpr auto kLongestBusyChild = std::chrono::seconds(20);

// A host that leaves right after its last event reports as many as a short run of an application does.
constexpr int kUnstoppedEvents = 20;
// The longest the exit of such a host may take: its queued work stops starting a second after the exit has
// begun, and the exit waits for the library at most five seconds in all.
constexpr auto kLongestUnstoppedExit = std::chrono::seconds(5);
// A forked child's exit, from its call of `exit()` to the end of its statics, waits for nothing of the
// parent's: it takes what the host's own statics take. Waiting for the parent's threads, it took the whole
// five seconds the exit may wait; with one of their locks held, for ever.
constexpr auto kLongestForkedExit = std::chrono::seconds(2);

bool isUnstopped(const std::string& mode) {
    return mode.rfind("unstopped-", 0) == 0;
}

// The events that a child's file must hold: those recorded before its stopping calls, or all those of a host
// that leaves right after its last one; the hosts that leave early, and the one that leaves while the library
// logs, count none.
int eventsOf(const std::string& mode, int events) {
    if (isUnstopped(mode)) {
        return kUnstoppedEvents;
    }
    return mode == "answered" || mode == "busy" || mode == "late" ? 0 : events;
}

// What a child is told to record: the host that leaves while the library logs records many events, so that
// most are still queued as it leaves.
int toRecord(const std::string& mode, int events) {
    return mode == "late" ? 2000 : eventsOf(mode, events);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Child spawnHost(const std::string& mode, const std::filesystem::path& folder, const std::string& gatewayUrl,
                int events) {
    std::filesystem::create_directories(folder);
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::string(*variable).rfind("XDG_DATA_HOME=", 0) != 0) {
            environment.emplace_back(*variable);
        }
    }
    environment.push_back("XDG_DATA_HOME=" + folder.string());
    std::vector<char*> envp;
    for (auto& variable : environment) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    std::vector<std::string> arguments{"zqb_exit_host", mode, gatewayUrl, std::to_string(events)};
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = (folder / "stdout.txt").string();
    const std::string err = (folder / "stderr.txt").string();
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    Child child{mode, folder, -1};
    const int failed =
        zqb::test::spawnTargetProgram(&child.pid, ZQB_EXIT_HOST_PROGRAM, &actions, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        std::fprintf(stderr, "posix_spawn failed: %d\n", failed);
        std::exit(2);
    }
    return child;
}

struct Stored {
    // -1 when the file cannot be read or fails SQLite's integrity check.
    int64_t events = -1;
    int64_t sessionStarts = 0;
};

// How many of the host's events, and session starts, the database holds, in waiting rows and in stored
// reports.
Stored storedEvents(const std::filesystem::path& file, std::string& problem) {
    try {
        zqb::Connection reader(file.string(), false);
        {
            zqb::Statement check(reader, "PRAGMA integrity_check");
            if (!check.step()) {
                problem = "no integrity answer";
                return {};
            }
            const auto value = check.cursor().row().at(0);
            if (!value || !std::holds_alternative<std::string>(*value) ||
                std::get<std::string>(*value) != "ok") {
                problem = "integrity check failed";
                return {};
            }
        }
        const std::string needle = std::string("\"") + kEventName + "\"";
        const std::string sessionStart = "\"code\":\"ss\"";
        Stored found;
        found.events = 0;
        for (const char* sql : {"SELECT eventJson FROM events", "SELECT packagesJson FROM reports"}) {
            zqb::Statement statement(reader, sql);
            while (statement.step()) {
                const auto value = statement.cursor().row().at(0);
                if (!value || !std::holds_alternative<std::string>(*value)) {
                    continue;
                }
                const auto& json = std::get<std::string>(*value);
                for (auto at = json.find(needle); at != std::string::npos; at = json.find(needle, at + 1)) {
                    ++found.events;
                }
                for (auto at = json.find(sessionStart); at != std::string::npos;
                     at = json.find(sessionStart, at + 1)) {
                    ++found.sessionStarts;
                }
            }
        }
        return found;
    } catch (const std::exception& error) {
        problem = error.what();
        return {};
    }
}

struct Tally {
    int runs = 0;
    int crashes = 0;
    int sanitizerReports = 0;
    int badOutput = 0;
    int doubledOutput = 0;
    int lostOrDamaged = 0;
    int slow = 0;
    // The exits of the hosts that leave right after their last event, in milliseconds.
    std::vector<int64_t> unstoppedExits;
};

// Judges one child that has ended with `status`; prints what went wrong.
void judge(const Child& child, int status, int events, Tally& tally) {
    ++tally.runs;
    const std::string name = child.mode + " (" + child.folder.filename().string() + ")";
    const auto took = std::chrono::steady_clock::now() - child.started;
    if (child.mode == "busy" && took > kLongestBusyChild) {
        ++tally.slow;
        std::printf("%s: took %llds to end\n", name.c_str(),
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(took).count()));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ++tally.crashes;
        if (WIFSIGNALED(status)) {
            std::printf("%s: ended by signal %d\n", name.c_str(), WTERMSIG(status));
        } else {
            std::printf("%s: exit status %d\n", name.c_str(), WEXITSTATUS(status));
        }
    }
    if (child.mode == "fork") {
        const std::string forked = readFile(child.folder / "fork-ms.txt");
        const bool timed = !forked.empty() && std::isdigit(static_cast<unsigned char>(forked.front())) != 0;
        if (!timed || std::chrono::milliseconds(std::atoll(forked.c_str())) > kLongestForkedExit) {
            ++tally.slow;
            std::printf("%s: the longest exit of a forked child: %s\n", name.c_str(),
                        forked.empty() ? "not timed" : forked.substr(0, forked.find('\n')).c_str());
        }
    }
    const std::string err = readFile(child.folder / "stderr.txt");
    if (err.find("Sanitizer") != std::string::npos || err.find("runtime error") != std::string::npos) {
        ++tally.sanitizerReports;
        std::printf("%s: sanitizer report:\n%s\n", name.c_str(), err.substr(0, 3000).c_str());
    }

    std::vector<std::string> lines;
    std::istringstream out(readFile(child.folder / "stdout.txt"));
    for (std::string line; std::getline(out, line);) {
        lines.push_back(line);
    }
    const std::string started = "host " + child.mode + ": started";
    const std::string done = "host " + child.mode + ": done";
    const auto count = [&](const std::string& line) { return std::count(lines.begin(), lines.end(), line); };
    const auto deinits = count(kDeinitLine);
    const bool exact = count(started) == 1 && count(done) == 1 &&
                       deinits <= (child.mode == "destroy" ? 1 : 0) &&
                       lines.size() == 2 + static_cast<std::size_t>(deinits);
    if (!exact) {
        ++tally.badOutput;
        tally.doubledOutput += count(started) > 1 || count(done) > 1 ? 1 : 0;
        std::printf("%s: standard output is not the host's lines once each:\n", name.c_str());
        for (const auto& line : lines) {
            std::printf("  | %s\n", line.c_str());
        }
    }

    std::string problem;
    const auto file =
        child.folder / kBundleIdentifier / zqb::SQLiteProvider::folderName / zqb::SQLiteProvider::fileName;
    const Stored stored = storedEvents(file, problem);
    if (stored.events < events) {
        ++tally.lostOrDamaged;
        std::printf("%s: the file holds %lld of the %d events %s%s%s\n", name.c_str(),
                    static_cast<long long>(stored.events), events,
                    isUnstopped(child.mode) ? "reported" : "recorded before the stopping calls",
                    problem.empty() ? "" : ": ", problem.c_str());
    }
    if (!isUnstopped(child.mode)) {
        return;
    }
    if (stored.events >= 0 && stored.sessionStarts < 1) {
        ++tally.lostOrDamaged;
        std::printf("%s: the file holds no session start\n", name.c_str());
    }
    const std::string exitTime = readFile(child.folder / "exit-ms.txt");
    if (exitTime.empty()) {
        ++tally.badOutput;
        std::printf("%s: the exit was not timed\n", name.c_str());
        return;
    }
    const int64_t milliseconds = std::atoll(exitTime.c_str());
    tally.unstoppedExits.push_back(milliseconds);
    if (std::chrono::milliseconds(milliseconds) > kLongestUnstoppedExit) {
        ++tally.slow;
        std::printf("%s: the exit took %lld ms\n", name.c_str(), static_cast<long long>(milliseconds));
    }
}

int runParent(const Options& options) {
    zqb::test::TempDir folder;
    zqb::test::LoopbackGateway gateway;
    zqb::Config config = zqb::Config::defaulConfiguration(*zqb::host::Environment::shared().clock());
    config.countForRequest = 10;
    gateway.setReply("/v2/analytics/config", {200, config.toJson().dump()});
    gateway.setReply("/v2/analytics/identification", {200, "{}"});
    std::mutex mutex;
    int requests = 0;
    // Refused after 0 to 36 ms, so that answers keep arriving while the hosts leave.
    gateway.setHandler("/v2/analytics/report", [&](const zqb::test::LoopbackGateway::Request&) {
        std::lock_guard lock(mutex);
        const auto delay = std::chrono::milliseconds((requests++ * 7) % 37);
        return zqb::test::LoopbackGateway::Reply(503, "").delayedBy(delay);
    });

    // The busy hosts first: the others run while they wait.
    std::vector<std::string> modes(static_cast<std::size_t>(options.busyRuns), "busy");
    modes.insert(modes.end(), static_cast<std::size_t>(options.runs), "return");
    modes.insert(modes.end(), static_cast<std::size_t>(options.exitRuns), "exit");
    modes.insert(modes.end(), static_cast<std::size_t>(options.destroyRuns), "destroy");
    modes.insert(modes.end(), static_cast<std::size_t>(options.answeredRuns), "answered");
    modes.insert(modes.end(), static_cast<std::size_t>(options.lateRuns), "late");
    modes.insert(modes.end(), static_cast<std::size_t>(options.unstoppedRuns), "unstopped-return");
    modes.insert(modes.end(), static_cast<std::size_t>(options.unstoppedRuns), "unstopped-exit");
    modes.insert(modes.end(), static_cast<std::size_t>(options.forkRuns), "fork");

    const auto begun = std::chrono::steady_clock::now();
    Tally tally;
    std::vector<Child> running;
    std::size_t next = 0;
    while (next < modes.size() || !running.empty()) {
        while (next < modes.size() && static_cast<int>(running.size()) < options.jobs) {
            running.push_back(spawnHost(modes[next], folder.path() / ("run-" + std::to_string(next)),
                                        gateway.baseUrl(), toRecord(modes[next], options.events)));
            ++next;
        }
        int status = 0;
        const pid_t ended = waitpid(-1, &status, WNOHANG);
        if (ended <= 0) {
            for (const auto& child : running) {
                if (std::chrono::steady_clock::now() - child.started > kLongestChild) {
                    std::printf("%s (%s): still running after %llds, killed\n", child.mode.c_str(),
                                child.folder.filename().c_str(),
                                static_cast<long long>(kLongestChild.count()));
                    kill(child.pid, SIGKILL);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        const auto found =
            std::find_if(running.begin(), running.end(), [&](const Child& c) { return c.pid == ended; });
        if (found == running.end()) {
            continue;
        }
        judge(*found, status, eventsOf(found->mode, options.events), tally);
        running.erase(found);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    std::printf("runs=%d crashes=%d sanitizer=%d output=%d (doubled %d) lost=%d slow=%d time=%.1fs\n",
                tally.runs, tally.crashes, tally.sanitizerReports, tally.badOutput, tally.doubledOutput,
                tally.lostOrDamaged, tally.slow, seconds);
    if (!tally.unstoppedExits.empty()) {
        auto exits = tally.unstoppedExits;
        std::sort(exits.begin(), exits.end());
        std::printf("exit after the last event without a stopping call: median %lld ms, longest %lld ms\n",
                    static_cast<long long>(exits[exits.size() / 2]), static_cast<long long>(exits.back()));
    }
    return tally.crashes == 0 && tally.sanitizerReports == 0 && tally.badOutput == 0 &&
                   tally.lostOrDamaged == 0 && tally.slow == 0
               ? 0
               : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    Options options;
    for (std::size_t index = 0; index + 1 < arguments.size(); index += 2) {
        const std::string& name = arguments[index];
        const int value = std::atoi(argv[index + 2]);
        if (name == "--runs") {
            options.runs = value;
        } else if (name == "--exit-runs") {
            options.exitRuns = value;
        } else if (name == "--destroy-runs") {
            options.destroyRuns = value;
        } else if (name == "--answered-runs") {
            options.answeredRuns = value;
        } else if (name == "--busy-runs") {
            options.busyRuns = value;
        } else if (name == "--late-runs") {
            options.lateRuns = value;
        } else if (name == "--unstopped-runs") {
            options.unstoppedRuns = value;
        } else if (name == "--fork-runs") {
            options.forkRuns = value;
        } else if (name == "--jobs") {
            options.jobs = std::max(1, value);
        } else if (name == "--events") {
            options.events = std::max(1, value);
        } else {
            std::fprintf(stderr, "unknown option %s\n", name.c_str());
            return 2;
        }
    }
    return runParent(options);
}

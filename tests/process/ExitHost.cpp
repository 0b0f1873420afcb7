// The host program of the exit test (tests/process/ExitTest.cpp): a program of its own that links the shared
// library alone, as a host does, so that nothing else in it sets up what the library sets up (the HTTP client
// and its TLS library) before the library does.
//
//   zqb_exit_host <mode> <gateway url> <events>
//
// Modes: "return" (returns from main after the stopping calls), "exit" (calls exit() there), "destroy"
// (destroys the library first), "answered" (returns the moment the first answer has come), "busy" (returns
// while its completion handler is still busy on a library thread), "late" (returns while the library is still
// logging busily, through a closure that uses an object of the host's built after the library's start-up),
// "unstopped-return" and "unstopped-exit" (return from main, or call exit(), right after the last event, with
// no stopping call and before the library's start-up has run), "fork" (forks children that call exit() at
// once while its threads are at work in the library, times their exits into fork-ms.txt, then returns as
// "return").
#include <ZQBAnalytics/ZQBAnalytics.hpp>
#include <ZQBAnalytics/ZQBEngineWrapper.hpp>
#include <ZQBAnalytics/ZQBHost.hpp>

#include "process/ExitHost.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace {

using zqb::test::exit_host::kApplicationKey;
using zqb::test::exit_host::kBundleIdentifier;
using zqb::test::exit_host::kEventName;

// What a host's exit does after its log objects are gone (closing its own files, ending its own threads):
// built first, so destroyed after them, and it takes a while.
struct HostShutdown {
    ~HostShutdown() { std::this_thread::sleep_for(std::chrono::milliseconds(40)); }
} hostShutdown;

// How long the exit of a host that leaves right after its last event takes, from that call to the end of its
// statics (the last destroyed but the host's shutdown): written to exit-ms.txt for the test to report. A
// forked child adds its own to fork-exit-ms.txt instead.
int64_t monotonicNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}
std::atomic<int64_t> leftAt{0};
std::atomic<bool> forkedChild{false};
struct ExitClock {
    ~ExitClock() {
        if (leftAt.load() == 0) {
            return;
        }
        const std::string text = std::to_string((monotonicNanoseconds() - leftAt.load()) / 1'000'000) + "\n";
        const auto path = std::filesystem::path(std::getenv("XDG_DATA_HOME")) /
                          (forkedChild.load() ? "fork-exit-ms.txt" : "exit-ms.txt");
        std::FILE* file = std::fopen(path.c_str(), forkedChild.load() ? "a" : "w");
        if (file != nullptr) {
            std::fputs(text.c_str(), file);
            std::fclose(file);
        }
    }
} exitClock;

// The host's own objects behind its log closure: built before `main`, destroyed once it has returned.
std::mutex hostLogMutex;
std::string hostLog;
std::ofstream hostLogFile;

void hostLogLine(ZQBLogLevel, const std::string& line) {
    std::lock_guard lock(hostLogMutex);
    // Built on the closure's first call, on a library thread.
    static std::string lastLine;
    lastLine = line;
    hostLog.append(line).append("\n");
    hostLogFile << line << '\n';
}

// The "late" host's record of its own events, built by its log closure when the first line about one of them
// arrives (long after the closure's first call, on a library thread) and so destroyed early in the exit.
// Destroying it takes a while (it flushes what it holds), as a host's own log objects do.
std::atomic<bool> eventRecordBuilt{false};
// Constant-initialised: never destroyed, so the closure can tell that the record is gone.
std::atomic<bool> eventRecordGone{false};

struct EventRecord {
    std::string lines;
    ~EventRecord() {
        eventRecordGone.store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        lines.clear();
    }
};

void lateHostLogLine(ZQBLogLevel level, const std::string& line) {
    hostLogLine(level, line);
    if (line.find(kEventName) == std::string::npos) {
        return;
    }
    std::lock_guard lock(hostLogMutex);
    static EventRecord record;
    eventRecordBuilt.store(true);
    if (eventRecordGone.load()) {
        constexpr char message[] =
            "host late: the log closure was called after the exit destroyed its record\n";
        static_cast<void>(::write(STDERR_FILENO, message, sizeof message - 1));
        std::abort();
    }
    record.lines.append(line);
}

// What every host does first: its log, the library's set-up, and the application's activation.
void startHost(const std::string& mode, const std::string& gatewayUrl, ZQBEngineWrapper::LogClosure closure,
               ZQBLogLevel level) {
    std::printf("host %s: started\n", mode.c_str());
    hostLogFile.open(std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "host.log");
    ZQBEngineWrapper::setEngineLoggerMessageClosure(std::move(closure));
    ZQBAnalytics::setLogLevel(level);
    ZQBHost::setBundleInfo("ExitTest", kBundleIdentifier, "1.0", "1");
    ZQBAnalytics::setTestProxyUrl(gatewayUrl);
    ZQBAnalytics::initialize(kApplicationKey);
    ZQBHost::applicationDidBecomeActive();
}

void recordEvent(int number) {
    ZQBCustomEventParameters parameters;
    parameters.add("n", static_cast<int64_t>(number));
    ZQBAnalytics::customEvent(kEventName, parameters);
}

// Records events while the library logs each one on its threads, and returns from `main` with most of them
// still queued.
int runLateHost(const std::string& gatewayUrl, int events) {
    startHost("late", gatewayUrl, lateHostLogLine, ZQBLogLevel::debug);
    // Once the start-up has run, the library has set up all it sets up for the exit.
    std::promise<void> answered;
    ZQBAnalytics::getDeviceId([&answered](const std::string&) { answered.set_value(); });
    answered.get_future().wait();
    recordEvent(0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!eventRecordBuilt.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (int number = 1; number < events; ++number) {
        recordEvent(number);
    }
    std::printf("host late: done\n");
    return 0;
}

// Reports its events and leaves at once, without a stopping call, usually before the library's start-up has
// even run.
int runUnstoppedHost(const std::string& mode, const std::string& gatewayUrl, int events) {
    startHost(mode, gatewayUrl, hostLogLine, ZQBLogLevel::debug);
    std::printf("host %s: done\n", mode.c_str());
    for (int number = 0; number < events; ++number) {
        recordEvent(number);
    }
    leftAt.store(monotonicNanoseconds());
    if (mode == "unstopped-exit") {
        std::exit(0);
    }
    return 0;
}

// Forks children that make a call and a stopping call and `exit()` at once, while the host's own thread keeps
// recording events (so that the library's queues are at work, their threads hold what the exit waits for, and
// a host thread may be inside the library at the fork) and reports are refused: a child has none of those
// threads, and its exit must not wait for them. Each child times its exit, from its call of `exit()` to the
// end of its statics; the longest is written to fork-ms.txt, or what went wrong: "hung" when a child did not
// end within a minute (it is then killed; the machine's load, and a sanitizer's teardown, may take seconds of
// a child's end, not of its exit's waits).
void forkChildren(const std::filesystem::path& folder) {
    constexpr int kChildren = 12;
    const std::string childErrors = (folder / "fork-stderr.txt").string();
    std::atomic<bool> recording{true};
    std::thread producer([&recording] {
        // At the pace of a busy game, not flooding the queue: what the parent holds stays small.
        for (int number = 0; recording.load(); ++number) {
            recordEvent(number);
            if (number % 50 == 49) {
                ZQBAnalytics::sendBufferedEvents();
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::string outcome;
    for (int child = 0; child < kChildren && outcome.empty(); ++child) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        // The child's exit flushes what it inherited; the host's lines must be written once.
        std::fflush(stdout);
        const pid_t pid = ::fork();
        if (pid == 0) {
            // A sanitizer may find the parent's threads' objects unreachable from the child: its report goes
            // to a file of its own, not to the host's standard error that the test judges.
            const int descriptor = ::open(childErrors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            if (descriptor >= 0) {
                ::dup2(descriptor, STDERR_FILENO);
            }
            // The child has none of the library's threads: its calls are not run, and a stopping call must
            // not wait for them.
            recordEvent(-1);
            ZQBHost::applicationWillResignActive();
            forkedChild.store(true);
            leftAt.store(monotonicNanoseconds());
            std::exit(0);
        }
        if (pid < 0) {
            outcome = "fork failed";
            break;
        }
        int status = 0;
        pid_t ended = 0;
        const int64_t giveUpAt = monotonicNanoseconds() + 60'000'000'000;
        while ((ended = ::waitpid(pid, &status, WNOHANG)) == 0 && monotonicNanoseconds() < giveUpAt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (ended == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            outcome = "hung";
            break;
        }
        if (!WIFEXITED(status)) {
            outcome = "ended by signal " + std::to_string(WTERMSIG(status));
        }
    }
    recording.store(false);
    producer.join();
    if (outcome.empty()) {
        int timed = 0;
        int64_t longest = 0;
        std::ifstream exits(folder / "fork-exit-ms.txt");
        for (int64_t milliseconds = 0; exits >> milliseconds; ++timed) {
            longest = std::max(longest, milliseconds);
        }
        outcome = timed == kChildren ? std::to_string(longest)
                                     : std::to_string(timed) + " of the children timed their exit";
    }
    std::ofstream(folder / "fork-ms.txt") << outcome << '\n';
}

int runHost(const std::string& mode, const std::string& gatewayUrl, int events) {
    // The hosts that leave early log as most hosts do: the DEBUG lines would slow the start-up down.
    const bool early = mode == "answered" || mode == "busy";
    startHost(mode, gatewayUrl, hostLogLine, early ? ZQBLogLevel::error : ZQBLogLevel::debug);
    if (early) {
        // The first answer comes once the start-up has run, as its first requests are being set up.
        std::promise<void> answered;
        ZQBAnalytics::getDeviceId([&answered, busy = mode == "busy"](const std::string&) {
            answered.set_value();
            if (busy) {
                std::this_thread::sleep_for(std::chrono::seconds(60));
            }
        });
        answered.get_future().wait();
        std::printf("host %s: done\n", mode.c_str());
        return 0;
    }
    for (int number = 0; number < events; ++number) {
        recordEvent(number);
        if (number % 25 == 24) {
            ZQBAnalytics::sendBufferedEvents();
        }
    }
    if (mode == "fork") {
        forkChildren(std::getenv("XDG_DATA_HOME"));
    }
    ZQBAnalytics::sendBufferedEvents();
    ZQBHost::applicationWillResignActive();
    ZQBHost::applicationDidEnterBackground();
    if (mode == "destroy") {
        ZQBEngineWrapper::destroySDK();
    }
    std::printf("host %s: done\n", mode.c_str());
    if (mode == "exit") {
        std::exit(0);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: zqb_exit_host <mode> <gateway url> <events>\n");
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "late") {
        return runLateHost(argv[2], std::atoi(argv[3]));
    }
    if (mode.rfind("unstopped-", 0) == 0) {
        return runUnstoppedHost(mode, argv[2], std::atoi(argv[3]));
    }
    return runHost(mode, argv[2], std::atoi(argv[3]));
}

// The host program of the exit test (tests/process/ExitTest.cpp): a program of its own that links the shared
// library alone, as a host does, so that nothing else in it sets up what the library sets up (the HTTP client
// and its TLS library) before the library does.
//
//   zqb_exit_host <mode> <gateway url> <events>
//
// Modes: "return" (returns from main after the stopping calls), "exit" (calls exit() there), "destroy"
// (destroys the library first), "answered" (returns the moment the first answer has come), "busy" (returns
// while its completion handler is still busy on a library thread).
#include <ZQBAnalytics/ZQBAnalytics.hpp>
#include <ZQBAnalytics/ZQBEngineWrapper.hpp>
#include <ZQBAnalytics/ZQBHost.hpp>

#include "process/ExitHost.hpp"

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

namespace {

using zqb::test::exit_host::kApplicationKey;
using zqb::test::exit_host::kBundleIdentifier;
using zqb::test::exit_host::kEventName;

// What a host's exit does after its log objects are gone (closing its own files, ending its own threads):
// built first, so destroyed after them, and it takes a while.
struct HostShutdown {
    ~HostShutdown() { std::this_thread::sleep_for(std::chrono::milliseconds(40)); }
} hostShutdown;

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

int runHost(const std::string& mode, const std::string& gatewayUrl, int events) {
    std::printf("host %s: started\n", mode.c_str());
    hostLogFile.open(std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "host.log");
    ZQBEngineWrapper::setEngineLoggerMessageClosure(hostLogLine);
    // The hosts that leave early log as most hosts do: the DEBUG lines would slow the start-up down.
    const bool early = mode == "answered" || mode == "busy";
    ZQBAnalytics::setLogLevel(early ? ZQBLogLevel::error : ZQBLogLevel::debug);
    ZQBHost::setBundleInfo("ExitTest", kBundleIdentifier, "1.0", "1");
    ZQBAnalytics::setTestProxyUrl(gatewayUrl);
    ZQBAnalytics::initialize(kApplicationKey);
    ZQBHost::applicationDidBecomeActive();
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
        ZQBCustomEventParameters parameters;
        parameters.add("n", static_cast<int64_t>(number));
        ZQBAnalytics::customEvent(kEventName, parameters);
        if (number % 25 == 24) {
            ZQBAnalytics::sendBufferedEvents();
        }
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
    return runHost(argv[1], argv[2], std::atoi(argv[3]));
}

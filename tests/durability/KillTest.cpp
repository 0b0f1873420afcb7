// The library's durability promise on real processes killed without warning.
//
// The parent runs a loopback gateway and starts a child on one data folder again and again. Each child
// records custom events numbered from a range of its own, bursts with short pauses, and now and then leaves
// the foreground (the stopping calls) and comes back. After every call returns it appends a line to a
// progress file: "R <number> <time>" for an event whose call returned, "S <number> <time>" once a stopping
// call made after that event has returned. The parent kills the child with SIGKILL at a seeded random
// moment. Once all kills are done, a last child starts on the folder and sends what is stored until the
// file holds nothing more.
//
// Then every event whose stopping call returned, and every event whose call returned more than the grace
// period before its process was killed, must have reached the gateway. The grace period (1 s by default) is
// the library's window, an event is in the file at most 100 ms after the income queue ran its call, plus
// the time the call may wait in that queue on a busy machine. Duplicates are counted, not failed. The line
// printed after the kills gives kills, events, lost, duplicated, the events too young at their kill to be
// required (unsaved), and the observed window: the age, at its kill, of the oldest event that never arrived.
//
// A second scenario plays hosts that report the end of their session and end at once. Each child
// initialises, records events and calls a stopping call (resign active, enter background or terminate): on
// a new device (a fresh data folder) within 10 ms of `initialize`, its events from one thread or from four;
// launched again on that device, after a session of more than a second, within 10 ms of its last event. It
// exits or kills itself the moment the call has returned, and the next launch sends what it stored. Every
// event recorded before the call, and the engagement event ("ue") of every session that lasted more than a
// second, must reach the gateway. Its line gives the runs, the events, those lost, the long sessions and
// the engagement events lost.
//
//   zqb_kill_test [--kills N] [--seed S] [--grace-ms G] [--min-ms A] [--max-ms B] [--burst E] [--stops R]
#include <ZQBAnalytics/ZQBAnalytics.hpp>
#include <ZQBAnalytics/ZQBEngineWrapper.hpp>
#include <ZQBAnalytics/ZQBHost.hpp>

#include "backend/Config.hpp"
#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "database/Statement.hpp"
#include "host/Environment.hpp"
#include "support/ChildProcess.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/SharedDatabase.hpp"
#include "support/TempDir.hpp"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kApplicationKey = "kill-test-key";
constexpr const char* kEventName = "kill";
constexpr const char* kStopEventName = "stop";
// Each child numbers its events from its own multiple of this, so that no number is ever reused.
constexpr int64_t kRange = 10'000'000;
// A child of the stop scenario starts at this level plus its run, so that its engagement event tells its run.
constexpr int64_t kStopLevelBase = 1000;

int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void startLibrary(const std::string& gatewayUrl,
                  const ZQBAnalyticsConfiguration& configuration = ZQBAnalyticsConfiguration()) {
    ZQBHost::setBundleInfo("KillTest", "com.example.killtest", "1.0", "1");
    ZQBEngineWrapper::setEngineLoggerMessageClosure([](ZQBLogLevel level, const std::string& line) {
        if (level == ZQBLogLevel::error) {
            std::fprintf(stderr, "[child %d] %s\n", static_cast<int>(getpid()), line.c_str());
        }
    });
    ZQBAnalytics::setLogLevel(ZQBLogLevel::error);
    ZQBAnalytics::setTestProxyUrl(gatewayUrl);
    ZQBAnalytics::initialize(kApplicationKey, configuration);
    ZQBHost::applicationDidBecomeActive();
}

void appendLine(int fd, char kind, int64_t number) {
    const std::string line = std::string(1, kind) + " " + std::to_string(number) + " " +
                             std::to_string(monotonicNanoseconds()) + "\n";
    // One write of a short line to a file opened for appending: a kill never leaves half of it.
    [[maybe_unused]] const auto written = write(fd, line.data(), line.size());
}

// Records until killed.
int runRecorder(const std::string& gatewayUrl, int64_t first, const std::string& progress, uint64_t seed,
                int64_t maximumBurst) {
    startLibrary(gatewayUrl);
    const int fd = open(progress.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0600);
    if (fd < 0) {
        std::perror("progress file");
        return 2;
    }
    std::mt19937_64 random(seed);
    int64_t number = first;
    for (;;) {
        const int64_t burst = std::uniform_int_distribution<int64_t>(1, maximumBurst)(random);
        for (int64_t index = 0; index < burst; ++index, ++number) {
            ZQBCustomEventParameters parameters;
            parameters.add("n", number);
            ZQBAnalytics::customEvent(kEventName, parameters);
            appendLine(fd, 'R', number);
        }
        if (std::uniform_int_distribution<int>(0, 9)(random) == 0) {
            ZQBHost::applicationWillResignActive();
            ZQBHost::applicationDidEnterBackground();
            appendLine(fd, 'S', number - 1);
            ZQBHost::applicationDidBecomeActive();
        }
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(1'000, 20'000)(random)));
    }
}

enum class StopKind { atStart, atStartFromThreads, afterSession };

// Odd runs are the first launch on a new device, whose start-up takes longest; even runs launch again on
// the same folder.
StopKind stopKindOf(int run) {
    if (run % 2 == 0) {
        return StopKind::afterSession;
    }
    return (run / 2) % 2 == 0 ? StopKind::atStart : StopKind::atStartFromThreads;
}

// Records, stops and ends at once (see the scenario above); the stopping call and the way the process ends
// change from run to run.
int runStopper(const std::string& gatewayUrl, int run, const std::string& progress, uint64_t seed) {
    const int fd = open(progress.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0600);
    if (fd < 0) {
        std::perror("progress file");
        return 2;
    }
    std::mt19937_64 random(seed);
    ZQBAnalyticsConfiguration configuration;
    configuration.setCurrentLevel(int64_t{kStopLevelBase + run});
    startLibrary(gatewayUrl, configuration);
    const auto record = [fd](int64_t number) {
        ZQBCustomEventParameters parameters;
        parameters.add("n", number);
        ZQBAnalytics::customEvent(kStopEventName, parameters);
        appendLine(fd, 'R', number);
    };
    const int64_t first = run * kRange;
    const StopKind kind = stopKindOf(run);
    if (kind == StopKind::atStart) {
        const int64_t count = std::uniform_int_distribution<int64_t>(1, 200)(random);
        for (int64_t number = first; number < first + count; ++number) {
            record(number);
        }
    } else if (kind == StopKind::atStartFromThreads) {
        const int64_t count = std::uniform_int_distribution<int64_t>(1, 100)(random);
        std::vector<std::thread> threads;
        for (int64_t thread = 0; thread < 4; ++thread) {
            threads.emplace_back([&, from = first + thread * (kRange / 4)] {
                for (int64_t number = from; number < from + count; ++number) {
                    record(number);
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    } else {
        // A query answers once the start-up has run: from then on the session is open, and it lasts more
        // than a second before the stop however long the start-up took.
        std::promise<void> started;
        ZQBAnalytics::getDeviceId([&started](const std::string&) { started.set_value(); });
        if (started.get_future().wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            std::fprintf(stderr, "the start-up did not run within a minute\n");
            return 2;
        }
        for (int64_t number = first; number < first + 20; ++number) {
            record(number);
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
    }
    const int pause = std::uniform_int_distribution<int>(0, 10)(random);
    if (pause > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
    switch ((run / 2) % 3) {
        case 0:
            ZQBHost::applicationWillResignActive();
            break;
        case 1:
            ZQBHost::applicationDidEnterBackground();
            break;
        default:
            ZQBHost::applicationWillTerminate();
            break;
    }
    appendLine(fd, 'S', first);
    if ((run / 4) % 2 == 1) {
        raise(SIGKILL);
    }
    _exit(0);
}

int64_t rowCount(zqb::Connection& reader, const char* table) {
    try {
        zqb::Statement statement(reader, std::string("SELECT count(*) FROM ") + table);
        if (statement.step()) {
            const auto value = statement.cursor().row().at(0);
            if (value && std::holds_alternative<int64_t>(*value)) {
                return std::get<int64_t>(*value);
            }
        }
    } catch (const std::exception&) {
    }
    return -1;
}

// Sends what the folder holds until nothing is left; 0 when it got there.
int runDrain(const std::string& gatewayUrl) {
    startLibrary(gatewayUrl);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    while (std::chrono::steady_clock::now() < deadline) {
        ZQBAnalytics::sendBufferedEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto folder = zqb::test::databaseFolder();
        if (!folder) {
            break;
        }
        zqb::Connection reader((*folder / zqb::SQLiteProvider::fileName).string());
        if (rowCount(reader, "events") == 0 && rowCount(reader, "reports") == 0) {
            std::fflush(stderr);
            _exit(0);
        }
    }
    std::fprintf(stderr, "the stored events were not all sent within two minutes\n");
    std::fflush(stderr);
    _exit(1);
}

struct Options {
    int kills = 20;
    uint64_t seed = 15;
    int64_t graceMs = 1000;
    int64_t minMs = 200;
    int64_t maxMs = 2500;
    // Events of one burst at most; the bursts come every 1 to 20 ms. The default, about 2,500 events/s,
    // is heavy for an application and still within what the library stores as fast as it comes.
    int64_t burst = 50;
    // Runs of the stop scenario; every other one a session of more than a second.
    int stops = 12;
};

struct Progress {
    std::map<int64_t, int64_t> returnedAt;   // number -> monotonic ns
    std::map<int64_t, int64_t> stoppedUpTo;  // run -> highest number covered by a returned stopping call
};

Progress readProgress(const std::filesystem::path& path) {
    Progress progress;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        char kind = 0;
        int64_t number = 0;
        int64_t time = 0;
        if (!(fields >> kind >> number >> time)) {
            continue;
        }
        if (kind == 'R') {
            progress.returnedAt[number] = time;
        } else if (kind == 'S') {
            auto& upTo = progress.stoppedUpTo[number / kRange];
            upTo = std::max(upTo, number);
        }
    }
    return progress;
}

// What reached the gateway, by event number, and the stop scenario's engagement events by run.
struct Received {
    std::mutex mutex;
    std::map<int64_t, int> killEvents;
    std::map<int64_t, int> stopEvents;
    std::map<int64_t, int> engagements;
};

// Waits for a child of the stop scenario, which ends by itself; kills it after a minute.
bool endedByItself(pid_t child) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return false;
}

// Each new device (data folder) gets two runs, a first launch and a second one, and then a launch that sends
// what is left.
int runStops(const Options& options, const zqb::test::LoopbackGateway& gateway, Received& received) {
    zqb::test::TempDir progressFolder;
    const auto progressPath = progressFolder.path() / "progress.txt";
    std::mt19937_64 random(options.seed + 1);
    const auto started = std::chrono::steady_clock::now();
    int hung = 0;
    bool drained = true;
    std::unique_ptr<zqb::test::TempDir> device;
    const auto drain = [&] {
        if (device) {
            drained = zqb::test::waitForSuccess(
                          zqb::test::spawnSelf({"zqb_kill_test", "--drain", gateway.baseUrl()})) &&
                      drained;
        }
    };
    for (int run = 1; run <= options.stops; ++run) {
        if (run % 2 == 1) {
            drain();
            device = std::make_unique<zqb::test::TempDir>();
            setenv("XDG_DATA_HOME", device->path().c_str(), 1);
        }
        const pid_t child =
            zqb::test::spawnSelf({"zqb_kill_test", "--stop", gateway.baseUrl(), std::to_string(run),
                                  progressPath.string(), std::to_string(random())});
        if (!endedByItself(child)) {
            ++hung;
            std::printf("stop run %d did not end within a minute\n", run);
        }
    }
    drain();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const Progress progress = readProgress(progressPath);
    std::lock_guard lock(received.mutex);
    int64_t events = 0;
    int64_t lost = 0;
    int sessions = 0;
    int engagementsLost = 0;
    int unreturned = 0;
    for (int run = 1; run <= options.stops; ++run) {
        const bool returned = progress.stoppedUpTo.count(run) > 0;
        unreturned += returned ? 0 : 1;
        if (stopKindOf(run) == StopKind::afterSession) {
            ++sessions;
            if (returned && received.engagements.count(kStopLevelBase + run) == 0) {
                ++engagementsLost;
                std::printf("lost: the engagement event of stop run %d\n", run);
            }
        }
    }
    std::set<int64_t> runsLosing;
    for (const auto& [number, returnedAt] : progress.returnedAt) {
        ++events;
        if (received.stopEvents.count(number) == 0) {
            runsLosing.insert(number / kRange);
            if (++lost <= 10) {
                std::printf("lost: %lld (stop run %lld), recorded before its stopping call\n",
                            static_cast<long long>(number), static_cast<long long>(number / kRange));
            }
        }
    }
    std::printf("stops=%d events=%lld lost=%lld runs-losing=%zu sessions=%d ue-lost=%d time=%.1fs\n",
                options.stops, static_cast<long long>(events), static_cast<long long>(lost),
                runsLosing.size(), sessions, engagementsLost, seconds);
    if (unreturned > 0) {
        std::printf("%d stopping calls did not return\n", unreturned);
    }
    if (!drained) {
        std::printf("a launch of the stop scenario did not send everything it found stored\n");
    }
    return lost == 0 && engagementsLost == 0 && unreturned == 0 && hung == 0 && drained &&
                   (options.stops == 0 || events > 0)
               ? 0
               : 1;
}

int runParent(const Options& options) {
    zqb::test::TempDir folder;
    setenv("XDG_DATA_HOME", folder.path().c_str(), 1);
    const auto progressPath = folder.path() / "progress.txt";

    Received received;
    zqb::test::LoopbackGateway gateway;
    zqb::Config config = zqb::Config::defaulConfiguration(*zqb::host::Environment::shared().clock());
    config.countForRequest = 50;
    gateway.setReply("/v2/analytics/config", {200, config.toJson().dump()});
    gateway.setReply("/v2/analytics/identification", {200, "{}"});
    gateway.setHandler("/v2/analytics/report", [&](const zqb::test::LoopbackGateway::Request& request) {
        const auto body = nlohmann::json::parse(request.body, nullptr, false);
        std::lock_guard lock(received.mutex);
        for (const auto& report : body.value("reports", nlohmann::json::array())) {
            for (const auto& package : report.value("packages", nlohmann::json::array())) {
                for (const auto& event : package.value("events", nlohmann::json::array())) {
                    const std::string name = event.value("name", "");
                    if (name == kEventName && event.contains("parameters")) {
                        ++received.killEvents[event["parameters"].value("n", int64_t{-1})];
                    } else if (name == kStopEventName && event.contains("parameters")) {
                        ++received.stopEvents[event["parameters"].value("n", int64_t{-1})];
                    } else if (event.value("code", "") == "ue") {
                        ++received.engagements[event.value("level", int64_t{0})];
                    }
                }
            }
        }
        return zqb::test::LoopbackGateway::Reply(200, "{}");
    });

    std::mt19937_64 random(options.seed);
    std::vector<int64_t> killedAt(static_cast<std::size_t>(options.kills) + 1, 0);
    const auto started = std::chrono::steady_clock::now();
    for (int run = 1; run <= options.kills; ++run) {
        const pid_t child = zqb::test::spawnSelf({"zqb_kill_test", "--record", gateway.baseUrl(),
                                                  std::to_string(run * kRange), progressPath.string(),
                                                  std::to_string(random()), std::to_string(options.burst)});
        const int64_t lifetime = std::uniform_int_distribution<int64_t>(options.minMs, options.maxMs)(random);
        std::this_thread::sleep_for(std::chrono::milliseconds(lifetime));
        killedAt[static_cast<std::size_t>(run)] = monotonicNanoseconds();
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
    }
    const pid_t drain = zqb::test::spawnSelf({"zqb_kill_test", "--drain", gateway.baseUrl()});
    int status = 0;
    waitpid(drain, &status, 0);
    const bool drained = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const Progress progress = readProgress(progressPath);
    std::unique_lock lock(received.mutex);
    int64_t events = 0;
    int64_t stopped = 0;
    int64_t lost = 0;
    int64_t unsaved = 0;
    int64_t duplicated = 0;
    int64_t windowNs = 0;
    struct Lost {
        int64_t number;
        int64_t ageNs;
        bool coveredByStop;
    };
    std::vector<Lost> lostEvents;
    for (const auto& [number, returned] : progress.returnedAt) {
        ++events;
        const auto run = static_cast<std::size_t>(number / kRange);
        const auto stoppedUpTo = progress.stoppedUpTo.find(number / kRange);
        const bool coveredByStop = stoppedUpTo != progress.stoppedUpTo.end() && number <= stoppedUpTo->second;
        stopped += coveredByStop ? 1 : 0;
        const int64_t age = run < killedAt.size() ? killedAt[run] - returned : 0;
        const bool required = coveredByStop || age > options.graceMs * 1'000'000;
        const auto found = received.killEvents.find(number);
        const int count = found == received.killEvents.end() ? 0 : found->second;
        duplicated += std::max(count - 1, 0);
        if (count > 0) {
            continue;
        }
        if (required) {
            ++lost;
            if (lostEvents.size() < 10) {
                lostEvents.push_back({number, age, coveredByStop});
            }
        } else {
            ++unsaved;
            windowNs = std::max(windowNs, age);
        }
    }
    std::printf(
        "seed=%llu kills=%d events=%lld stopped=%lld lost=%lld duplicated=%lld unsaved=%lld "
        "window=%.1fms grace=%lldms time=%.1fs\n",
        static_cast<unsigned long long>(options.seed), options.kills, static_cast<long long>(events),
        static_cast<long long>(stopped), static_cast<long long>(lost), static_cast<long long>(duplicated),
        static_cast<long long>(unsaved), static_cast<double>(windowNs) / 1e6,
        static_cast<long long>(options.graceMs), seconds);
    for (const auto& event : lostEvents) {
        std::printf("lost: %lld (run %lld), returned %.1fms before the kill%s\n",
                    static_cast<long long>(event.number), static_cast<long long>(event.number / kRange),
                    static_cast<double>(event.ageNs) / 1e6,
                    event.coveredByStop ? ", before a stopping call that returned" : "");
    }
    if (!drained) {
        std::printf("the last run did not send everything it found stored\n");
    }
    if (events == 0) {
        std::printf("no event was recorded\n");
    }
    lock.unlock();
    const int stops = runStops(options, gateway, received);
    return lost == 0 && drained && events > 0 && stops == 0 ? 0 : 1;
}

int64_t number(const char* text) {
    return std::strtoll(text, nullptr, 10);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 6 && arguments[0] == "--record") {
        return runRecorder(arguments[1], number(argv[3]), arguments[3],
                           static_cast<uint64_t>(std::strtoull(argv[5], nullptr, 10)), number(argv[6]));
    }
    if (arguments.size() == 2 && arguments[0] == "--drain") {
        return runDrain(arguments[1]);
    }
    if (arguments.size() == 5 && arguments[0] == "--stop") {
        return runStopper(arguments[1], static_cast<int>(number(argv[3])), arguments[3],
                          static_cast<uint64_t>(std::strtoull(argv[5], nullptr, 10)));
    }
    Options options;
    for (std::size_t index = 0; index + 1 < arguments.size(); index += 2) {
        const std::string& name = arguments[index];
        const char* value = argv[index + 2];
        if (name == "--kills") {
            options.kills = static_cast<int>(number(value));
        } else if (name == "--seed") {
            options.seed = static_cast<uint64_t>(std::strtoull(value, nullptr, 10));
        } else if (name == "--grace-ms") {
            options.graceMs = number(value);
        } else if (name == "--min-ms") {
            options.minMs = number(value);
        } else if (name == "--max-ms") {
            options.maxMs = number(value);
        } else if (name == "--burst") {
            options.burst = std::max<int64_t>(1, number(value));
        } else if (name == "--stops") {
            options.stops = std::max(0, static_cast<int>(number(value)));
        } else {
            std::fprintf(stderr, "unknown option %s\n", name.c_str());
            return 2;
        }
    }
    return runParent(options);
}

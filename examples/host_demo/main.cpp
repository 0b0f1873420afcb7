// A host application embedding the library: it plays a short game session, reports it, and shows what the
// analytics gateway received.
//
//   zqb_host_demo                              against a loopback gateway started in this process
//   zqb_host_demo --gateway http://host:port   against a gateway of your own
//
// Options: --json prints each received report body in full, --verbose shows the library's DEBUG lines.
#include <ZQBAnalytics/ZQBAnalytics.hpp>
#include <ZQBAnalytics/ZQBHost.hpp>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kDeliveryBound = 20s;
constexpr const char* kApplicationKey = "demo-application-key";

// Log lines come from several library threads; one lock keeps them whole on the terminal.
std::mutex outputMutex;
// The library's log tells each report it tries to send and how that went; counted from whichever thread
// logs them.
std::atomic<int> reportsTried = 0;
std::atomic<int> reportsSent = 0;
std::atomic<int> reportsFailed = 0;

void countReports(const std::string& line) {
    if (line.starts_with("INFO Trying to send the Report [")) {
        ++reportsTried;
    } else if (line.find("] has been sent successfully") != std::string::npos) {
        ++reportsSent;
    } else if (line.find("] submission failed: ") != std::string::npos) {
        ++reportsFailed;
    }
}

// Against a gateway of which the demo sees nothing, the reports are delivered once one has gone through
// since `sentBefore`, and no report has been on its way, nor failed, for half a second.
std::function<bool()> quietAfterDelivery(int sentBefore) {
    auto quietSince = std::make_shared<std::optional<Clock::time_point>>();
    return [sentBefore, quietSince, failedBefore = reportsFailed.load()] {
        const bool settled = reportsSent > sentBefore && reportsFailed == failedBefore &&
                             reportsTried == reportsSent + reportsFailed;
        if (!settled) {
            quietSince->reset();
            return false;
        }
        if (!*quietSince) {
            *quietSince = Clock::now();
        }
        return Clock::now() - **quietSince >= 500ms;
    };
}

void say(const std::string& text) {
    std::lock_guard lock(outputMutex);
    std::cout << text << std::endl;
}

// Polls `done` every 50 ms until it holds or `bound` has passed.
bool waitUntil(const std::function<bool()>& done, Clock::duration bound) {
    const auto deadline = Clock::now() + bound;
    while (!done()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// A fresh folder under the system's temporary directory, removed with everything in it on destruction.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zqb-demo-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder: " +
                                     std::string(std::strerror(errno)));
        }
        path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A plain-HTTP gateway on 127.0.0.1 that hands out a project configuration with a small batch size, answers
// the identification request, and keeps every report body it is sent.
class LoopbackGateway {
public:
    LoopbackGateway() {
        // One exchange per connection, so that stopping never waits on the library's idle connection.
        server_.set_keep_alive_max_count(1);
        server_.set_tcp_nodelay(true);
        const auto handle = [this](const httplib::Request& request, httplib::Response& response) {
            answer(request, response);
        };
        server_.Get(".*", handle);
        server_.Post(".*", handle);
        port_ = server_.bind_to_any_port("127.0.0.1");
        if (port_ <= 0) {
            throw std::runtime_error("cannot bind a port on 127.0.0.1");
        }
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        waitUntil([this] { return server_.is_running(); }, 5s);
    }
    ~LoopbackGateway() {
        server_.stop();
        thread_.join();
    }
    LoopbackGateway(const LoopbackGateway&) = delete;
    LoopbackGateway& operator=(const LoopbackGateway&) = delete;

    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

    std::vector<std::string> reports() const {
        std::lock_guard lock(mutex_);
        return reports_;
    }

    // The codes of every event received so far.
    std::set<std::string> eventCodes() const {
        std::set<std::string> codes;
        for (const auto& body : reports()) {
            forEachEvent(body,
                         [&](const nlohmann::ordered_json& event) { codes.insert(event.value("code", "")); });
        }
        return codes;
    }

    // Every package of a report body, as the gateway reads them: {"reports":[{"packages":[...]}]}.
    static std::vector<nlohmann::ordered_json> packagesOf(const std::string& body) {
        std::vector<nlohmann::ordered_json> packages;
        const auto json = nlohmann::ordered_json::parse(body, nullptr, false);
        if (!json.is_object()) {
            return packages;
        }
        for (const auto& report : json.value("reports", nlohmann::ordered_json::array())) {
            for (const auto& package : report.value("packages", nlohmann::ordered_json::array())) {
                packages.push_back(package);
            }
        }
        return packages;
    }

    static void forEachEvent(const std::string& body,
                             const std::function<void(const nlohmann::ordered_json&)>& visit) {
        for (const auto& package : packagesOf(body)) {
            for (const auto& event : package.value("events", nlohmann::ordered_json::array())) {
                visit(event);
            }
        }
    }

private:
    void answer(const httplib::Request& request, httplib::Response& response) {
        const auto endsWith = [&](std::string_view suffix) { return request.path.ends_with(suffix); };
        if (endsWith("/analytics/config")) {
            const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::system_clock::now().time_since_epoch());
            const nlohmann::json config = {
                {"timeForRequest", 10000},   {"countForRequest", 3},
                {"eventParamsCount", 20},    {"sessionTimeout", 600000},
                {"serverTime", now.count()}, {"aliveTimeout", 300000},
                {"userCounting", true},      {"currencyAggregationTimeout", 10000},
            };
            response.set_content(config.dump(), "application/json");
        } else if (endsWith("/analytics/identification")) {
            response.set_content(R"({"vorantelId":4242,"crossPlatformVorantelId":4243})", "application/json");
        } else if (endsWith("/analytics/report")) {
            std::lock_guard lock(mutex_);
            reports_.push_back(request.body);
            response.set_content("{}", "application/json");
        } else {
            response.status = 404;
        }
    }

    httplib::Server server_;
    std::thread thread_;
    int port_ = -1;
    mutable std::mutex mutex_;
    std::vector<std::string> reports_;
};

std::string eventLabel(const std::string& code) {
    static const std::vector<std::pair<std::string, std::string>> labels = {
        {"ss", "session start"},   {"ue", "session length"}, {"di", "device facts"},
        {"ce", "custom event"},    {"lu", "level up"},       {"ca", "currency accrual"},
        {"cb", "current balance"}, {"pe", "progression"},    {"ts", "tracking status"},
        {"al", "still alive"},     {"pl", "user card"},
    };
    for (const auto& [key, label] : labels) {
        if (key == code) {
            return label;
        }
    }
    return "event";
}

std::string text(const nlohmann::ordered_json& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

void printReports(const std::vector<std::string>& bodies, bool fullJson) {
    say("\nThe gateway received " + std::to_string(bodies.size()) + " report(s):");
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        say("-- report " + std::to_string(i + 1) + " (" + std::to_string(bodies[i].size()) + " bytes)");
        if (fullJson) {
            const auto json = nlohmann::ordered_json::parse(bodies[i], nullptr, false);
            say(json.is_discarded() ? bodies[i] : json.dump(2));
            continue;
        }
        for (const auto& package : LoopbackGateway::packagesOf(bodies[i])) {
            say("   from " + text(package.value("bundle", nlohmann::ordered_json())) + " " +
                text(package.value("appVersion", nlohmann::ordered_json())) + " (" +
                text(package.value("appBuildVersion", nlohmann::ordered_json())) + "), library " +
                text(package.value("sdkVersion", nlohmann::ordered_json())));
            for (auto event : package.value("events", nlohmann::ordered_json::array())) {
                // What sets the event apart; the code is the label, the times are alike.
                const std::string code = event.value("code", "");
                for (const char* common : {"code", "timestamp", "sessionId"}) {
                    event.erase(common);
                }
                std::string line = "     " + code + "  " + eventLabel(code);
                line.resize(std::max<std::size_t>(line.size(), 27), ' ');
                line += event.dump();
                if (line.size() > 150) {
                    line = line.substr(0, 147) + "...";
                }
                say(line);
            }
        }
    }
}

// What a game reports during a short play session.
void playSession() {
    ZQBAnalytics::setUserId("player-42");

    ZQBCustomEventParameters parameters;
    parameters.add("boss", "dragon");
    parameters.add("attempts", 3);
    parameters.add("hardMode", true);
    ZQBAnalytics::customEvent("BossFight", parameters);

    ZQBAnalytics::currencyAccrual("gold", 120, "quest", ZQBAccrualType::earned);
    ZQBAnalytics::currencyAccrual("gems", 5, "shop", ZQBAccrualType::bought);
    ZQBAnalytics::levelUp(2, {{"gold", 170}, {"gems", 5}});

    ZQBStartProgressionEventParameters start;
    start.setDifficulty(3);
    start.setSource("world map");
    ZQBAnalytics::startProgressionEvent("Dungeon 1", start);
    ZQBFinishProgressionEventParameters finish;
    finish.setSuccessfulCompletion(true);
    finish.setDuration(95);
    finish.setEarned({{"gold", 50}});
    ZQBAnalytics::finishProgressionEvent("Dungeon 1", finish);

    ZQBAnalytics::sendBufferedEvents();
}

int run(const std::optional<std::string>& gatewayUrl, bool fullJson, bool verbose) {
    // The library keeps its data folder, and the device identifiers, below the user's data directory:
    // pointing that at a temporary folder leaves nothing behind.
    const TemporaryFolder folder;
    setenv("XDG_DATA_HOME", folder.path().c_str(), 1);

    std::optional<LoopbackGateway> loopback;
    if (!gatewayUrl) {
        loopback.emplace();
    }
    const std::string url = gatewayUrl.value_or(loopback ? loopback->baseUrl() : std::string());

    ZQBEngineWrapper::setEngineLoggerMessageClosure([](ZQBLogLevel, const std::string& line) {
        countReports(line);
        say("  [library] " + line);
    });
    ZQBAnalytics::setLogLevel(verbose ? ZQBLogLevel::debug : ZQBLogLevel::info);
    ZQBHost::setBundleInfo("ZQB Demo", "com.example.zqbdemo", "1.0.0", "7");
    ZQBAnalytics::setTestProxyUrl(url);

    say("Gateway:     " + url + (loopback ? " (loopback, in this process)" : ""));
    say("Data folder: " + ZQBAnalytics::sdkFolderPath());

    ZQBAnalytics::initialize(kApplicationKey);
    ZQBHost::applicationDidBecomeActive();
    const auto sessionStart = Clock::now();
    const int sentBeforePlay = reportsSent;
    playSession();

    // Our own gateway shows what has arrived; of another one, only the library's log tells.
    const std::set<std::string> expected = {"ss", "ce", "ca", "lu", "pe"};
    const auto allArrived = [&] {
        const auto codes = loopback->eventCodes();
        return std::includes(codes.begin(), codes.end(), expected.begin(), expected.end());
    };
    const bool delivered = waitUntil(
        loopback ? std::function<bool()>(allArrived) : quietAfterDelivery(sentBeforePlay), kDeliveryBound);

    // Leaving closes the session and its length goes out as the last report; the library reports no
    // length for a session shorter than a second, so the player stays a moment longer.
    std::this_thread::sleep_until(sessionStart + 1500ms);
    ZQBHost::applicationWillResignActive();
    ZQBHost::applicationDidEnterBackground();
    ZQBHost::applicationWillTerminate();
    if (delivered) {
        const int sentBeforeLeaving = reportsSent;
        waitUntil(loopback ? [&] { return loopback->eventCodes().contains("ue"); }
                           : quietAfterDelivery(sentBeforeLeaving),
                  5s);
    }
    ZQBEngineWrapper::setEngineLoggerMessageClosure({});

    if (loopback) {
        printReports(loopback->reports(), fullJson);
    }
    if (!delivered) {
        say("\nFAILED: the reports did not reach the gateway within " +
            std::to_string(std::chrono::seconds(kDeliveryBound).count()) + " s");
        return 1;
    }
    // The gateway may have a report before the library has logged that it went through.
    const std::size_t taken = loopback ? loopback->reports().size() : static_cast<std::size_t>(reportsSent);
    say("\nDone: the gateway took " + std::to_string(taken) + " report(s) with the session and its events.");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> gatewayUrl;
    bool fullJson = false;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--gateway" && i + 1 < argc) {
            gatewayUrl = argv[++i];
        } else if (argument == "--json") {
            fullJson = true;
        } else if (argument == "--verbose") {
            verbose = true;
        } else {
            std::cerr << "usage: " << argv[0] << " [--gateway URL] [--json] [--verbose]\n";
            return 2;
        }
    }
    try {
        return run(gatewayUrl, fullJson, verbose);
    } catch (const std::exception& error) {
        std::cerr << "demo failed: " << error.what() << '\n';
        return 1;
    }
}

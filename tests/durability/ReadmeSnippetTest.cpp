// The README's "Using it" snippet, run as the whole of a host program
// (tests/durability/ReadmeSnippetHost.cpp) that links the library alone: the test is built once for a host
// linking the shared library and once for one linking it statically, which must behave alike.
//
// The test runs a loopback gateway and, on a fresh data folder for each run, starts the host, which points
// the library at the gateway and runs the snippet. Then either the host stays alive, as a host that goes on
// in the background, or it exits the moment the snippet's last call has returned and the next launch of the
// host (initialise, become active) sends what the first one stored. Either way the gateway must receive the
// snippet's custom event, its level-up (the snippet becomes active before it, so a session is open) and its
// user card.
//
//   zqb_readme_snippet_test [--runs N] [--bound-s S]
#include "backend/Config.hpp"
#include "host/Environment.hpp"
#include "support/ChildProcess.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/TempDir.hpp"

#include <nlohmann/json.hpp>

#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Seen {
    bool customEvent = false;
    bool levelUp = false;
    bool userCard = false;
    bool all() const { return customEvent && levelUp && userCard; }
};

void look(const nlohmann::json& event, Seen& seen) {
    const std::string code = event.value("code", "");
    const auto parameters = event.value("parameters", nlohmann::json::object());
    if (code == "ce" && event.value("name", "") == "match_finished" &&
        parameters == nlohmann::json{{"mode", "duel"}, {"score", 1234}}) {
        seen.customEvent = true;
    } else if (code == "lu" && event.value("level", 0) == 5 &&
               event.value("balance", nlohmann::json()) == nlohmann::json{{"gold", 120}}) {
        seen.levelUp = true;
    } else if (code == "pl" && parameters.is_object() && parameters.value("name", "") == "Ann" &&
               parameters.value("matches_won", 0) == 1) {
        seen.userCard = true;
    }
}

int runParent(int runs, int boundSeconds) {
    int kept = 0;
    for (int run = 0; run < runs; ++run) {
        const bool exitsAtOnce = run % 2 == 1;
        zqb::test::TempDir folder;
        setenv("XDG_DATA_HOME", folder.path().c_str(), 1);

        std::mutex mutex;
        Seen seen;
        zqb::test::LoopbackGateway gateway;
        gateway.setReply(
            "/v2/analytics/config",
            {200,
             zqb::Config::defaulConfiguration(*zqb::host::Environment::shared().clock()).toJson().dump()});
        gateway.setReply("/v2/analytics/identification", {200, "{}"});
        gateway.setHandler("/v2/analytics/report", [&](const zqb::test::LoopbackGateway::Request& request) {
            const auto body = nlohmann::json::parse(request.body, nullptr, false);
            std::lock_guard lock(mutex);
            for (const auto& report : body.value("reports", nlohmann::json::array())) {
                for (const auto& package : report.value("packages", nlohmann::json::array())) {
                    for (const auto& event : package.value("events", nlohmann::json::array())) {
                        look(event, seen);
                    }
                }
            }
            return zqb::test::LoopbackGateway::Reply(200, "{}");
        });

        pid_t child = zqb::test::spawnProgram(
            ZQB_README_SNIPPET_HOST,
            {"zqb_readme_snippet_host", "--snippet", gateway.baseUrl(), exitsAtOnce ? "exit" : "stay"});
        if (exitsAtOnce) {
            if (!zqb::test::waitForSuccess(child)) {
                std::printf("run %d: the snippet's host did not exit cleanly\n", run);
            }
            child = zqb::test::spawnProgram(ZQB_README_SNIPPET_HOST,
                                            {"zqb_readme_snippet_host", "--next-launch", gateway.baseUrl()});
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(boundSeconds);
        Seen now;
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard lock(mutex);
                now = seen;
            }
            if (now.all()) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(child, SIGKILL);
        zqb::test::waitForSuccess(child);

        kept += now.all() ? 1 : 0;
        if (!now.all()) {
            std::printf("run %d (%s): missing%s%s%s\n", run,
                        exitsAtOnce ? "exits at once, sent by the next launch" : "stays in the background",
                        now.customEvent ? "" : " the custom event", now.levelUp ? "" : " the level-up",
                        now.userCard ? "" : " the user card");
        }
    }
    std::printf("readme snippet, %s host: runs=%d kept=%d\n", ZQB_README_SNIPPET_LINK, runs, kept);
    return kept == runs ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    int runs = 4;
    int boundSeconds = 30;
    for (std::size_t index = 0; index + 1 < arguments.size(); index += 2) {
        const int value = std::atoi(arguments[index + 1].c_str());
        if (arguments[index] == "--runs") {
            runs = value;
        } else if (arguments[index] == "--bound-s") {
            boundSeconds = value;
        } else {
            std::fprintf(stderr, "unknown option %s\n", arguments[index].c_str());
            return 2;
        }
    }
    return runParent(runs, boundSeconds);
}

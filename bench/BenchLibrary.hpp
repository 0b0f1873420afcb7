#pragma once

// A started library for the benchmarks: a test environment, a loopback gateway whose configuration answer
// has the given batch size and which accepts every report, counting the events it receives.

#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include "backend/Config.hpp"
#include "core/Core.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/QueueRunner.hpp"
#include "support/ScopedEnvironment.hpp"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace zqb::bench {

class Library {
public:
    explicit Library(int64_t countForRequest) {
        Config config = Config::defaulConfiguration();
        config.countForRequest = countForRequest;
        gateway_.setReply("/v2/analytics/config", {200, config.toJson().dump()});
        gateway_.setHandler("/v2/analytics/report", [this](const test::LoopbackGateway::Request& request) {
            // Read through references: `value()` would copy every report and package it returns.
            const auto body = nlohmann::json::parse(request.body, nullptr, false);
            for (const auto& report : member(body, "reports")) {
                for (const auto& package : member(report, "packages")) {
                    received_ += member(package, "events").size();
                }
            }
            return test::LoopbackGateway::Reply(200, "{}");
        });
        gateway_.setReply("/v2/analytics/identification", {200, "{}"});
        ZQBAnalytics::setTestProxyUrl(gateway_.baseUrl());
        ZQBAnalytics::setLogLevel(ZQBLogLevel::no);
        ZQBAnalytics::initialize("bench-application-key");
        test::settleAll();
    }

    // Destroys the library without its deinit line on standard output, which would cut into the table.
    ~Library() {
        std::fflush(stdout);
        const int saved = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        Core::destroy();
        test::settleAll();
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(null);
        close(saved);
        ZQBAnalytics::setTestProxyUrl("");
        ZQBAnalytics::setLogLevel(ZQBLogLevel::error);
    }

    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    std::size_t received() const { return received_.load(); }

private:
    // The array under `key`, or an empty one.
    static const nlohmann::json& member(const nlohmann::json& object, const char* key) {
        static const nlohmann::json none = nlohmann::json::array();
        if (!object.is_object()) {
            return none;
        }
        const auto found = object.find(key);
        return found != object.end() && found->is_array() ? *found : none;
    }

    std::atomic<std::size_t> received_{0};  // declared first: the gateway's handler outlives the others
    test::LoopbackGateway gateway_;
    test::ScopedEnvironment environment_;
};

}  // namespace zqb::bench

#pragma once

// The whole library driven through its public interface, as a host drives it: calls on the host's thread,
// the real logic, services and database in a temporary folder, and a loopback gateway that records what
// arrives. Time is the manual clock and its run loop; waits poll the gateway or the queues with a bound.

#include <ZQBAnalytics/ZQBAnalytics.hpp>
#include <ZQBAnalytics/ZQBHost.hpp>

#include "core/Core.hpp"
#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "database/Statement.hpp"
#include "foundation/TextUtils.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/QueueRunner.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"
#include "support/Wait.hpp"
#include "validation/Validator.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace zqb::test {

class EndToEndTest : public ::testing::Test {
protected:
    static constexpr const char* kReportPath = "/v2/analytics/report";
    static constexpr const char* kConfigPath = "/v2/analytics/config";
    static constexpr const char* kIdentificationPath = "/v2/analytics/identification";
    static constexpr const char* kApplicationKey = "end-to-end-key";
    static constexpr int64_t kStart = ManualClock::kDefaultStartMs;

    EndToEndTest() {
        gateway.setReply(kReportPath, {200, "{}"});
        gateway.setReply(kIdentificationPath,
                         {200, R"({"vorantelId":9,"crossPlatformVorantelId":10,"vorantelIdTimestamp":11})"});
        ZQBAnalytics::setTestProxyUrl(gateway.baseUrl());
    }

    ~EndToEndTest() override {
        Core::destroy();
        settleAll();
        ZQBAnalytics::setTestProxyUrl("");
        Validator::setExcludedOptions(std::nullopt);
    }

    // The gateway answers the configuration request with these values; `changes` replaces or adds keys.
    // The alive period is an hour so that pings stay out of tests that do not ask for them.
    void replyWithConfiguration(const nlohmann::json& changes = nlohmann::json::object()) {
        nlohmann::json config = {{"timeForRequest", 60000}, {"countForRequest", 10},
                                 {"eventParamsCount", 20},  {"sessionTimeout", 300000},
                                 {"serverTime", kStart},    {"aliveTimeout", 3600000},
                                 {"userCounting", true}};
        config.update(changes);
        gateway.setReply(kConfigPath, {200, config.dump()});
    }

    // Initialises the library, waits until the start-up session has reached the gateway and the received
    // configuration has been applied, and leaves every queue idle: from here on only the test moves time.
    void start(const std::optional<ZQBAnalyticsConfiguration>& configuration = std::nullopt) {
        if (configuration) {
            ZQBAnalytics::initialize(kApplicationKey, *configuration);
        } else {
            ZQBAnalytics::initialize(kApplicationKey);
        }
        ASSERT_TRUE(waitForEvent("ss"));
        ASSERT_TRUE(waitUntil([&] { return !gateway.requests(kConfigPath).empty(); }));
        settleAll();
    }

    // Lets every queued call run, moves the manual clock by `ms` (firing the timers due on the way) and lets
    // what the timers queued run too. Calls are queued, so a call made before this sees the time before it.
    void advance(int64_t ms) {
        settleAll();
        environment.advance(ms);
        settleAll();
    }

    // The application leaves the foreground as a host reports it; returns once the stop has been recorded
    // and its reports handed to the network queue.
    static void goToBackground() {
        ZQBHost::applicationWillResignActive();
        ZQBHost::applicationDidEnterBackground();
    }

    // The events of one report upload, in package order.
    static std::vector<nlohmann::json> eventsIn(const LoopbackGateway::Request& request) {
        std::vector<nlohmann::json> events;
        const auto body = nlohmann::json::parse(request.body, nullptr, false);
        if (body.is_discarded()) {
            return events;
        }
        for (const auto& report : body.value("reports", nlohmann::json::array())) {
            for (const auto& package : report.value("packages", nlohmann::json::array())) {
                for (const auto& event : package.value("events", nlohmann::json::array())) {
                    events.push_back(event);
                }
            }
        }
        return events;
    }

    // The codes of one upload's events, in order.
    static std::vector<std::string> codesIn(const LoopbackGateway::Request& request) {
        std::vector<std::string> codes;
        for (const auto& event : eventsIn(request)) {
            codes.push_back(event.value("code", ""));
        }
        return codes;
    }

    // Every event with `code` that the gateway received in report uploads, flash sends included, in order.
    std::vector<nlohmann::json> sentEvents(const std::string& code) {
        std::vector<nlohmann::json> events;
        for (const auto& request : gateway.requests(kReportPath)) {
            for (auto& event : eventsIn(request)) {
                if (event.value("code", "") == code) {
                    events.push_back(std::move(event));
                }
            }
        }
        return events;
    }

    // The custom event named `name` that reached the gateway (a null value when none did).
    nlohmann::json sentCustomEvent(const std::string& name) {
        for (const auto& event : sentEvents("ce")) {
            if (event.value("name", "") == name) {
                return event;
            }
        }
        return nullptr;
    }

    // The events with `code` that the gateway received, each as the compact text of the object it arrived
    // as, its members in the order they arrived.
    std::vector<std::string> sentEventTexts(const std::string& code) {
        // The member of `json` under `key` when it is an array, else an empty array.
        const auto arrayAt = [](const nlohmann::ordered_json& json, const char* key) {
            const auto found = json.find(key);
            return found != json.end() && found->is_array() ? *found : nlohmann::ordered_json::array();
        };
        std::vector<std::string> texts;
        for (const auto& request : gateway.requests(kReportPath)) {
            const auto body = nlohmann::ordered_json::parse(request.body, nullptr, false);
            if (!body.is_object()) {
                continue;
            }
            for (const auto& report : arrayAt(body, "reports")) {
                for (const auto& package : arrayAt(report, "packages")) {
                    for (const auto& event : arrayAt(package, "events")) {
                        if (event.is_object() && event.contains("code") && event["code"] == code) {
                            texts.push_back(event.dump());
                        }
                    }
                }
            }
        }
        return texts;
    }

    bool waitForEvent(const std::string& code, std::size_t count = 1) {
        return waitUntil([&] { return sentEvents(code).size() >= count; });
    }

    bool waitForCustomEvent(const std::string& name) {
        return waitUntil([&] { return !sentCustomEvent(name).is_null(); });
    }

    std::size_t reportCount() { return gateway.requests(kReportPath).size(); }

    // Rows of a table of the library's database, read through a connection of the test's own.
    static int64_t rowCount(const std::string& table) {
        SQLiteProvider reader = zqb::test::openDatabase();
        return static_cast<int64_t>(reader.queryRows(table, {}).size());
    }

    static int64_t storedEventCount() { return rowCount("events"); }

    // How many times `text` appears in the file, in the events waiting and in the packages of stored
    // reports: with a name used once per event, the number of those events that are in the file.
    static int64_t storedCopies(const std::string& text) {
        Connection reader((*zqb::test::databaseFolder() / SQLiteProvider::fileName).string());
        int64_t found = 0;
        for (const char* sql : {"SELECT eventJson FROM events", "SELECT packagesJson FROM reports"}) {
            Statement statement(reader, sql);
            while (statement.step()) {
                const auto value = statement.cursor().row().at(0);
                if (!value || !std::holds_alternative<std::string>(*value)) {
                    continue;
                }
                const auto& json = std::get<std::string>(*value);
                for (auto at = json.find(text); at != std::string::npos; at = json.find(text, at + 1)) {
                    ++found;
                }
            }
        }
        return found;
    }

    // The value an identifier header carries for `id` (the text ids travel in base64).
    static std::string encodedId(const std::string& id) { return text::base64Encode(id); }

    LoopbackGateway gateway;  // outlives the core's last exchange
    ScopedEnvironment environment;
};

}  // namespace zqb::test

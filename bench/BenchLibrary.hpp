#pragma once

// A started library for the benchmarks: a test environment, a loopback gateway whose configuration answer
// has the given batch size and which accepts every report at once, counting the events it receives.

#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include "backend/Config.hpp"
#include "core/Core.hpp"
#include "host/Environment.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/QueueRunner.hpp"
#include "support/ScopedEnvironment.hpp"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zqb::bench {

// Counts the events of report bodies on a thread of its own, so that the gateway answers a report as soon as
// it has read it: reading a body of 100 events costs about as much as the library spends sending it, and a
// gateway that made the library wait for that would be measured instead of the library.
class EventCounter {
public:
    EventCounter() : thread_([this] { run(); }) {}
    ~EventCounter() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_one();
        thread_.join();
    }
    EventCounter(const EventCounter&) = delete;
    EventCounter& operator=(const EventCounter&) = delete;

    void add(std::string body) {
        {
            std::lock_guard lock(mutex_);
            bodies_.push_back(std::move(body));
        }
        changed_.notify_one();
    }

    // The events of every body counted so far.
    std::size_t counted() const { return counted_.load(); }

private:
    void run() {
        std::unique_lock lock(mutex_);
        while (true) {
            changed_.wait(lock, [&] { return stopping_ || !bodies_.empty(); });
            if (bodies_.empty()) {
                return;
            }
            const std::string body = std::move(bodies_.front());
            bodies_.pop_front();
            lock.unlock();
            counted_ += count(body);
            lock.lock();
        }
    }

    // The elements of the "events" array of every package of every report: the objects opened right inside
    // such an array, {"reports":[{"packages":[{..."events":[ here. A scan of the text's structure instead
    // of a tree: building one took longer than the library took to send the report, and the count fell
    // behind the deliveries it counts.
    static std::size_t count(const std::string& body) {
        struct Level {
            bool object;
            bool events;  // an array that is the value of "events"
        };
        std::vector<Level> levels;
        std::string_view key;
        bool expectKey = false;
        std::size_t events = 0;
        for (std::size_t index = 0; index < body.size(); ++index) {
            const char c = body[index];
            if (c == '"') {
                const std::size_t start = index + 1;
                for (++index; index < body.size() && body[index] != '"'; ++index) {
                    index += body[index] == '\\' ? 1 : 0;
                }
                if (expectKey) {
                    key = std::string_view(body).substr(start, index - start);
                    expectKey = false;
                }
            } else if (c == '{' || c == '[') {
                const bool inObject = !levels.empty() && levels.back().object;
                if (c == '{' && !levels.empty() && levels.back().events) {
                    ++events;
                }
                constexpr std::size_t packageDepth = 5;
                levels.push_back(
                    {c == '{', c == '[' && inObject && levels.size() == packageDepth && key == "events"});
                expectKey = c == '{';
            } else if (c == '}' || c == ']') {
                if (!levels.empty()) {
                    levels.pop_back();
                }
            } else if (c == ',') {
                expectKey = !levels.empty() && levels.back().object;
            }
        }
        return events;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> bodies_;
    bool stopping_ = false;
    std::atomic<std::size_t> counted_{0};
    std::thread thread_;  // last: it starts once the rest is made
};

class Library {
public:
    explicit Library(int64_t countForRequest) {
        Config config = Config::defaulConfiguration(*zqb::host::Environment::shared().clock());
        config.countForRequest = countForRequest;
        gateway_.setReply("/v2/analytics/config", {200, config.toJson().dump()});
        gateway_.setHandler("/v2/analytics/report", [this](const test::LoopbackGateway::Request& request) {
            counter_.add(request.body);
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

    // The events of the reports the gateway accepted, once counted.
    std::size_t received() const { return counter_.counted(); }

private:
    EventCounter counter_;  // declared first: the gateway's handler outlives the others
    // It keeps connections open between requests, as a web server does and as the library's client expects:
    // one connection per report would time the loopback's handshakes, not the library.
    test::LoopbackGateway gateway_{test::LoopbackGateway::Options{true}};
    test::ScopedEnvironment environment_;
};

}  // namespace zqb::bench

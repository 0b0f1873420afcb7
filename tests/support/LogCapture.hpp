#pragma once

#include "foundation/Logger.hpp"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zqb::test {

// Installs itself as the engine log closure for its lifetime and records every line it receives.
// Sets the log level (default DEBUG) and restores the previous level and closure when destroyed.
class LogCapture {
public:
    explicit LogCapture(ZQBLogLevel level = ZQBLogLevel::debug);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    struct Line {
        ZQBLogLevel level;
        std::string text;  // with the level word, as the closure received it
    };

    std::vector<Line> lines() const;
    std::vector<std::string> texts() const;
    // Lines that contain `fragment`.
    std::vector<std::string> matching(const std::string& fragment) const;
    bool contains(const std::string& fragment) const { return !matching(fragment).empty(); }
    std::size_t count(const std::string& fragment) const { return matching(fragment).size(); }
    void clear();

private:
    // Shared with the installed closure: a library thread may still hold the closure after this is gone.
    struct Store {
        std::mutex mutex;
        std::vector<Line> lines;
    };
    std::shared_ptr<Store> store_ = std::make_shared<Store>();
    ZQBLogLevel previousLevel_;
    Logger::EngineClosure previousClosure_;
};

}  // namespace zqb::test

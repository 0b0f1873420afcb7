#include "support/LogCapture.hpp"

namespace zqb::test {

LogCapture::LogCapture(ZQBLogLevel level)
    : previousLevel_(Logger::logLevel()), previousClosure_(Logger::engineLoggerMessageClosure()) {
    Logger::setLogLevel(level);
    Logger::setEngineLoggerMessageClosure([store = store_](ZQBLogLevel lineLevel, const std::string& text) {
        std::lock_guard lock(store->mutex);
        store->lines.push_back({lineLevel, text});
    });
}

LogCapture::~LogCapture() {
    Logger::setEngineLoggerMessageClosure(previousClosure_);
    Logger::setLogLevel(previousLevel_);
}

std::vector<LogCapture::Line> LogCapture::lines() const {
    std::lock_guard lock(store_->mutex);
    return store_->lines;
}

std::vector<std::string> LogCapture::texts() const {
    std::vector<std::string> out;
    for (const auto& line : lines()) {
        out.push_back(line.text);
    }
    return out;
}

std::vector<std::string> LogCapture::matching(const std::string& fragment) const {
    std::vector<std::string> out;
    for (const auto& line : lines()) {
        if (line.text.find(fragment) != std::string::npos) {
            out.push_back(line.text);
        }
    }
    return out;
}

void LogCapture::clear() {
    std::lock_guard lock(store_->mutex);
    store_->lines.clear();
}

}  // namespace zqb::test

#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include "core/Logger.hpp"

ZQBLogLevel ZQBAnalytics::logLevel() {
    return zqb::Logger::logLevel();
}

void ZQBAnalytics::setLogLevel(ZQBLogLevel level) {
    if (level != ZQBLogLevel::unknown) {
        zqb::Logger::setLogLevel(level);
    }
}

std::function<void(const std::string&)> ZQBAnalytics::loggerMessageClosure() {
    return zqb::Logger::loggerMessageClosure();
}

void ZQBAnalytics::setLoggerMessageClosure(std::function<void(const std::string&)> closure) {
    zqb::Logger::setLoggerMessageClosure(std::move(closure));
}

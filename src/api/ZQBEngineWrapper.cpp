#include <ZQBAnalytics/ZQBEngineWrapper.hpp>

#include "core/Logger.hpp"

ZQBEngineWrapper::LogClosure ZQBEngineWrapper::engineLoggerMessageClosure() {
    return zqb::Logger::engineLoggerMessageClosure();
}

void ZQBEngineWrapper::setEngineLoggerMessageClosure(LogClosure closure) {
    zqb::Logger::setEngineLoggerMessageClosure(std::move(closure));
}

#pragma once

#include <ZQBAnalytics/ZQBCustomEventParameters.hpp>
#include <ZQBAnalytics/ZQBEngineWrapper.hpp>
#include <ZQBAnalytics/ZQBEnums.hpp>
#include <ZQBAnalytics/ZQBExport.hpp>
#include <ZQBAnalytics/ZQBFinishProgressionEventParameters.hpp>
#include <ZQBAnalytics/ZQBHost.hpp>
#include <ZQBAnalytics/ZQBReferralProperty.hpp>
#include <ZQBAnalytics/ZQBSocialNetwork.hpp>
#include <ZQBAnalytics/ZQBStartProgressionEventParameters.hpp>
#include <ZQBAnalytics/ZQBVerifyResponse.hpp>

#include <functional>
#include <string>

/// The analytics interface of the library. Every member is static; calls return at once and the work runs
/// on the library's own queues.
class ZQB_EXPORT ZQBAnalytics {
public:
    ZQBAnalytics() = delete;

    /// The level of the library's log (default `ZQBLogLevel::error`).
    static ZQBLogLevel logLevel();
    /// Sets the log level; `ZQBLogLevel::unknown` is ignored and leaves the level in force.
    static void setLogLevel(ZQBLogLevel level);

    /// A closure that the host may store and read back. The library passes no log line to it: log lines go
    /// to `ZQBEngineWrapper::engineLoggerMessageClosure`.
    static std::function<void(const std::string&)> loggerMessageClosure();
    static void setLoggerMessageClosure(std::function<void(const std::string&)> closure);
};

#pragma once

#include <ZQBAnalytics/ZQBEnums.hpp>
#include <ZQBAnalytics/ZQBExport.hpp>

#include <functional>
#include <string>

/// Entry points for game-engine plug-ins.
class ZQB_EXPORT ZQBEngineWrapper {
public:
    using LogClosure = std::function<void(ZQBLogLevel level, const std::string& line)>;

    ZQBEngineWrapper() = delete;

    /// Receives every admitted log line: the level's word ("ERROR", "WARNING", ...), one blank, the message.
    /// It is called on whichever library thread logs, so it must accept calls from several threads.
    static LogClosure engineLoggerMessageClosure();
    /// Installs the log sink; an empty closure removes it and log lines are dropped.
    static void setEngineLoggerMessageClosure(LogClosure closure);
};

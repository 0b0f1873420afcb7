#pragma once

#include <ZQBAnalytics/ZQBEnums.hpp>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace zqb {

// The library's one log sink. Lines go only to the engine closure; without one, and once the process has
// begun to exit (`ProcessExit`), they are dropped.
// Level and closures are read from every queue's thread, so they are kept behind atomics and a lock;
// the closure itself is called outside the lock so that it may log again or replace itself.
class Logger {
public:
    using EngineClosure = std::function<void(ZQBLogLevel, const std::string&)>;
    using MessageClosure = std::function<void(const std::string&)>;

    Logger() = delete;

    static void writeLog(ZQBLogLevel level, std::string_view text);
    // Whether a line of this level would reach the engine closure now, for callers whose text costs more
    // to compose than the call it reports.
    static bool isLogged(ZQBLogLevel level);

    static ZQBLogLevel logLevel();
    // Stores the level as given; the public setter is the one that ignores `unknown`. A value outside the
    // enum's cases is ignored.
    static void setLogLevel(ZQBLogLevel level);

    static EngineClosure engineLoggerMessageClosure();
    static void setEngineLoggerMessageClosure(EngineClosure closure);

    // Kept for the public property of the same name; no log line is ever passed to it.
    static MessageClosure loggerMessageClosure();
    static void setLoggerMessageClosure(MessageClosure closure);
};

}  // namespace zqb

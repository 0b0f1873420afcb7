#include "foundation/Logger.hpp"

#include "foundation/ProcessExit.hpp"

#include <atomic>
#include <mutex>

namespace zqb {
namespace {

struct LoggerState {
    std::atomic<int> level{static_cast<int>(ZQBLogLevel::error)};
    std::mutex mutex;
    std::shared_ptr<const Logger::EngineClosure> engineClosure;
    std::shared_ptr<const Logger::MessageClosure> messageClosure;
    // Whether the installed engine closure has been called since it was installed.
    std::atomic<bool> engineClosureCalled{false};
};

LoggerState& state() {
    // Never destroyed: queues may still log while static destructors run at exit.
    static LoggerState* instance = new LoggerState();
    return *instance;
}

}  // namespace

void Logger::writeLog(ZQBLogLevel level, std::string_view text) {
    LoggerState& s = state();
    if (s.level.load(std::memory_order_relaxed) < static_cast<int>(level)) {
        return;
    }
    std::shared_ptr<const EngineClosure> closure;
    {
        std::lock_guard lock(s.mutex);
        closure = s.engineClosure;
    }
    if (!closure || !*closure) {
        return;
    }
    std::string line;
    const std::string_view word = description(level);
    line.reserve(word.size() + 1 + text.size());
    line.append(word).append(" ").append(text);
    // Once the process exits, the host's closure may reach objects the exit has destroyed: it is not called.
    ProcessExit::Activity activity;
    if (!activity.hold()) {
        return;
    }
    // Logging cannot fail: an exception thrown by the host's closure must not unwind through the library's
    // queues (or terminate a destructor that happened to log).
    try {
        (*closure)(level, line);
    } catch (...) {
    }
    // The closure's first call may have built static objects of the host's; the exit must be noticed
    // before they are destroyed.
    if (!s.engineClosureCalled.load(std::memory_order_relaxed) && !s.engineClosureCalled.exchange(true)) {
        ProcessExit::watch();
    }
}

bool Logger::isLogged(ZQBLogLevel level) {
    LoggerState& s = state();
    if (s.level.load(std::memory_order_relaxed) < static_cast<int>(level)) {
        return false;
    }
    std::lock_guard lock(s.mutex);
    return s.engineClosure && *s.engineClosure;
}

ZQBLogLevel Logger::logLevel() {
    return static_cast<ZQBLogLevel>(state().level.load(std::memory_order_relaxed));
}

void Logger::setLogLevel(ZQBLogLevel level) {
    // A raw value that names no level (possible through a cast at the public boundary) is ignored.
    if (!ZQBLogLevelFromRawValue(static_cast<int64_t>(level))) {
        return;
    }
    state().level.store(static_cast<int>(level), std::memory_order_relaxed);
}

Logger::EngineClosure Logger::engineLoggerMessageClosure() {
    std::lock_guard lock(state().mutex);
    return state().engineClosure ? *state().engineClosure : EngineClosure{};
}

void Logger::setEngineLoggerMessageClosure(EngineClosure closure) {
    auto stored = closure ? std::make_shared<const EngineClosure>(std::move(closure)) : nullptr;
    // Registered after whatever the host built for its closure, so that the exit is noticed before that
    // is destroyed.
    ProcessExit::watch();
    {
        std::lock_guard lock(state().mutex);
        state().engineClosure.swap(stored);
        state().engineClosureCalled.store(false);
    }
    // The previous closure is released after the lock, in case its captures log on destruction.
}

Logger::MessageClosure Logger::loggerMessageClosure() {
    std::lock_guard lock(state().mutex);
    return state().messageClosure ? *state().messageClosure : MessageClosure{};
}

void Logger::setLoggerMessageClosure(MessageClosure closure) {
    auto stored = closure ? std::make_shared<const MessageClosure>(std::move(closure)) : nullptr;
    std::lock_guard lock(state().mutex);
    state().messageClosure.swap(stored);
}

}  // namespace zqb

#pragma once

#include "foundation/Logger.hpp"
#include "foundation/ProcessExit.hpp"
#include "foundation/TextUtils.hpp"
#include "validation/Validator.hpp"

#include <exception>
#include <functional>
#include <utility>

namespace zqb {

// A host's completion handler as the library calls it: an empty handler is a no-op, and an exception it
// throws is logged instead of breaking the library's queue in the middle of its work. Once the process
// has begun to exit it is not called: it may reach objects that the exit destroys.
template <typename T, typename Handler>
std::function<void(T)> guarded(Handler handler, const char* method) {
    if (!handler) {
        return [](T) {};
    }
    return [handler = std::move(handler), method](T value) {
        ProcessExit::Activity activity;
        if (!activity.hold()) {
            return;
        }
        try {
            handler(value);
        } catch (const std::exception& error) {
            Logger::writeLog(ZQBLogLevel::error,
                             Validator::messageHead(method) +
                                 "The completion handler has thrown: " + text::repairUtf8(error.what()));
        } catch (...) {
            Logger::writeLog(ZQBLogLevel::error,
                             Validator::messageHead(method) + "The completion handler has thrown");
        }
    };
}

}  // namespace zqb

#include "services/ActivityService.hpp"

#include "backend/Config.hpp"
#include "foundation/Logger.hpp"

#include <cmath>
#include <limits>
#include <utility>

namespace zqb {
namespace {

// a - b, saturating instead of overflowing.
int64_t saturatingDifference(int64_t a, int64_t b) {
    int64_t result = 0;
    if (__builtin_sub_overflow(a, b, &result)) {
        return b < 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    }
    return result;
}

}  // namespace

ActivityService::ActivityService(std::shared_ptr<StateManagerProtocol> stateManager,
                                 std::shared_ptr<UserRepository> userRepository,
                                 host::Environment& environment)
    : stateManager_(std::move(stateManager)),
      userRepository_(std::move(userRepository)),
      environment_(environment) {}

int64_t ActivityService::now() const {
    return host::millisecondsSince1970(*environment_.clock());
}

std::optional<bool> ActivityService::startActivity() {
    if (foreground_) {
        Logger::writeLog(ZQBLogLevel::debug, "Activity has already started");
        return std::nullopt;
    }
    const auto user = stateManager_->getActiveUser();
    const int64_t nowMs = now();
    const int64_t sessionTimeout = stateManager_->getActiveConfiguration().sessionTimeout;

    user->lastForegroundTime = nowMs;
    foreground_ = std::make_unique<Foreground>(Foreground{user, nowMs});

    // A gap equal to the timeout still continues the session.
    if (user->lastBackgroundTime &&
        saturatingDifference(nowMs, *user->lastBackgroundTime) <= sessionTimeout) {
        return false;
    }
    user->sessionId = nowMs;
    user->lastBackgroundTime = nowMs;
    userRepository_->update(user);
    return true;
}

std::optional<int64_t> ActivityService::stopActivity() {
    if (!foreground_) {
        return std::nullopt;
    }
    const std::unique_ptr<Foreground> ended = std::move(foreground_);
    const int64_t nowMs = now();
    const double elapsedMs = static_cast<double>(saturatingDifference(nowMs, ended->startMs));
    const auto seconds = static_cast<int64_t>(std::floor(elapsedMs / 1000.0));

    ended->user->lastBackgroundTime = nowMs;
    userRepository_->update(ended->user);
    return seconds;
}

std::optional<int64_t> ActivityService::getSessionId() {
    return stateManager_->getActiveUser()->sessionId;
}

void ActivityService::updateLastBackgroundTime() {
    if (!foreground_) {
        return;
    }
    foreground_->user->lastBackgroundTime = now();
    userRepository_->update(foreground_->user);
}

}  // namespace zqb

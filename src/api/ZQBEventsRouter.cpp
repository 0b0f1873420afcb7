#include <ZQBAnalytics/module/ZQBEventsRouter.hpp>

#include "api/GuardedHandler.hpp"
#include "api/MessagingCategoryDictionaries.hpp"
#include "core/Core.hpp"
#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"

#include <utility>

namespace {

using zqb::text::repairUtf8;

// The shared core (created when absent) and its messaging front, held for the whole call: a destroy running
// meanwhile may release the core.
std::shared_ptr<zqb::MessagingLogicProxyProtocol> messagingProxy() {
    return zqb::Core::shared()->messagingProxy();
}

ZQBLogLevel moduleLogLevel(int64_t level) {
    switch (level) {
        case 1:
            return ZQBLogLevel::error;
        case 2:
            return ZQBLogLevel::warning;
        case 3:
            return ZQBLogLevel::info;
        default:
            return ZQBLogLevel::debug;
    }
}

}  // namespace

void ZQBEventsRouter::getMessagingCategories(CategoriesHandler handler) {
    messagingProxy()->getPushCategories([handler = zqb::guarded<std::vector<nlohmann::json>>(
                                             std::move(handler), "getMessagingCategories(with:)")](
                                            std::vector<zqb::MessagingCategory> categories) {
        handler(zqb::messagingCategoryDictionaries(categories));
    });
}

void ZQBEventsRouter::sendPushToken(std::string_view token, bool isAllowed) {
    messagingProxy()->pushToken(repairUtf8(token), isAllowed);
}

void ZQBEventsRouter::sendPushOpened(int64_t timestamp, int64_t pushId,
                                     std::optional<std::string_view> button) {
    std::optional<std::string> copy;
    if (button) {
        copy = repairUtf8(*button);
    }
    messagingProxy()->pushOpened(timestamp, pushId, std::move(copy));
}

void ZQBEventsRouter::sendLogMessage(int64_t level, std::string_view message) {
    zqb::Logger::writeLog(moduleLogLevel(level), repairUtf8(message));
}

bool ZQBEventsRouter::isAnalyticsInited() {
    return zqb::Core::shared()->isInitialized();
}

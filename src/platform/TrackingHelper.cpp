#include "platform/TrackingHelper.hpp"

#include "foundation/Logger.hpp"

#include <string>

namespace zqb {

bool TrackingHelper::trackingStatus() const {
    const auto status = environment_.advertising()->trackingAuthorizationStatus();
    if (!status) {
        Logger::writeLog(
            ZQBLogLevel::warning,
            "AppTrackingTransparency.framework not included,please add 'AppTrackingTransparency' "
            "dependency");
        return false;
    }
    Logger::writeLog(ZQBLogLevel::debug, "ATTrackingManager trackingAuthorizationStatus equals [" +
                                             std::to_string(*status) + "]");
    // Until the user answers, the platform gives no advertising identifier either: "not determined" is no
    // consent.
    return *status == host::kTrackingAuthorized;
}

}  // namespace zqb

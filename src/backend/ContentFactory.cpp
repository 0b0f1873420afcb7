#include "backend/ContentFactory.hpp"

namespace zqb {

JSONContent ContentFactory::createContent(const BackendMessage& message) const {
    return JSONContent(message.data, headers(message.identifiers),
                       {"DeviceId", "PreviousDeviceId", "UserId", "PreviousUserId"}, "application/json");
}

std::map<std::string, std::string> ContentFactory::headers(const Identifiers& identifiers) {
    std::map<std::string, std::string> headers;
    headers["DeviceId"] = identifiers.deviceId;
    // An empty id still counts as present and is sent with an empty value.
    if (identifiers.previousDeviceId) {
        headers["PreviousDeviceId"] = *identifiers.previousDeviceId;
    }
    if (identifiers.userId) {
        headers["UserId"] = *identifiers.userId;
    }
    if (identifiers.previousUserId) {
        headers["PreviousUserId"] = *identifiers.previousUserId;
    }
    if (identifiers.vorantelId) {
        headers["VorantelId"] = std::to_string(*identifiers.vorantelId);
    }
    if (identifiers.crossPlatformVorantelId) {
        headers["CrossPlatformVorantelId"] = std::to_string(*identifiers.crossPlatformVorantelId);
    }
    if (identifiers.vorantelIdTimestamp) {
        headers["VorantelIdTimestamp"] = std::to_string(*identifiers.vorantelIdTimestamp);
    }
    headers["X-Id-Encoding"] = "base64";
    return headers;
}

}  // namespace zqb

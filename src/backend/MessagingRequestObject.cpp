#include "backend/MessagingRequestObject.hpp"

namespace zqb {

void to_json(nlohmann::ordered_json& json, const MessagingRequestObject& request) {
    json = nlohmann::ordered_json::object();
    json["sdkVersion"] = request.sdkVersion;
    json["sdkCodeVersion"] = request.sdkCodeVersion;
    json["appVersion"] = request.appVersion;
    json["categoriesVersion"] = request.categoriesVersion;
    if (request.language) {
        json["language"] = *request.language;
    }
}

}  // namespace zqb

#include "backend/Versions.hpp"

namespace zqb {

void to_json(nlohmann::ordered_json& json, const Versions& versions) {
    json = nlohmann::ordered_json::object();
    json["sdkVersion"] = versions.sdkVersion;
    json["sdkCodeVersion"] = versions.sdkCodeVersion;
    json["appVersion"] = versions.appVersion ? nlohmann::ordered_json(*versions.appVersion) : nullptr;
    if (versions.excludeVersion) {
        json["excludeVersion"] = *versions.excludeVersion;
    }
    if (versions.sbsConfigVersion) {
        json["sbsConfigVersion"] = *versions.sbsConfigVersion;
    }
}

}  // namespace zqb

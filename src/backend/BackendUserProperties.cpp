#include "backend/BackendUserProperties.hpp"

#include "backend/WireReader.hpp"

namespace zqb {

BackendUserProperties BackendUserProperties::fromJson(const nlohmann::ordered_json& json,
                                                      std::vector<std::string> path) {
    const WireReader reader(json, std::move(path));
    return BackendUserProperties{reader.optionalString("country")};
}

nlohmann::ordered_json BackendUserProperties::toJson() const {
    nlohmann::ordered_json json = nlohmann::ordered_json::object();
    if (country) {
        json["country"] = *country;
    }
    return json;
}

}  // namespace zqb

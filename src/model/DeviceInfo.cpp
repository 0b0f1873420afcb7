#include "model/DeviceInfo.hpp"

#include "model/RecordDescription.hpp"

#include <cmath>

namespace zqb {

std::optional<double> DeviceInfo::roundedDiagonal(std::optional<double> diagonal) {
    if (!diagonal) {
        return std::nullopt;
    }
    const double rounded = std::round(*diagonal * 100000.0) / 100000.0;
    // A NaN or infinite diagonal (or one so large that scaling overflows) would make the whole event
    // unencodable and lose it; the screen size is then simply unknown.
    if (!std::isfinite(rounded)) {
        return std::nullopt;
    }
    return rounded;
}

DeviceInfo::DeviceInfo(std::string osVersion, std::string os, std::optional<int64_t> displayPpi,
                       std::optional<std::string> displayResolution, std::optional<double> displayDiagonal,
                       std::string manufacturer, std::string model, int64_t timeZoneOffset, int64_t rooted,
                       bool isLimitAdTrackingEnabled, std::optional<std::string> idfv,
                       std::optional<std::string> idfa, std::string uuid, std::optional<int64_t> sandboxState)
    : timestamp(currentTimestamp()),
      osVersion(std::move(osVersion)),
      os(std::move(os)),
      displayPpi(displayPpi),
      displayResolution(std::move(displayResolution)),
      displayDiagonal(roundedDiagonal(displayDiagonal)),
      manufacturer(std::move(manufacturer)),
      model(std::move(model)),
      timeZoneOffset(timeZoneOffset),
      rooted(rooted),
      isLimitAdTrackingEnabled(isLimitAdTrackingEnabled),
      idfv(std::move(idfv)),
      idfa(std::move(idfa)),
      uuid(std::move(uuid)),
      sandboxState(sandboxState) {}

nlohmann::ordered_json DeviceInfo::toJson() const {
    nlohmann::ordered_json json;
    json["code"] = code;
    json["timestamp"] = timestamp;
    json["osVersion"] = osVersion;
    json["os"] = os;
    putIfPresent(json, "displayPpi", displayPpi);
    putIfPresent(json, "displayResolution", displayResolution);
    if (displayDiagonal && std::isfinite(*displayDiagonal)) {
        json["displayDiagonal"] = *displayDiagonal;
    }
    json["manufacturer"] = manufacturer;
    json["model"] = model;
    json["timeZoneOffset"] = timeZoneOffset;
    json["rooted"] = rooted;
    json["isLimitAdTrackingEnabled"] = isLimitAdTrackingEnabled;
    putIfPresent(json, "idfv", idfv);
    putIfPresent(json, "idfa", idfa);
    json["uuid"] = uuid;
    putIfPresent(json, "sandboxState", sandboxState);
    return json;
}

std::string DeviceInfo::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .text("osVersion", osVersion)
        .text("os", os)
        .optionalInteger("displayPpi", displayPpi)
        .optionalText("displayResolution", displayResolution)
        .optionalNumber("displayDiagonal", displayDiagonal)
        .text("manufacturer", manufacturer)
        .text("model", model)
        .integer("timeZoneOffset", timeZoneOffset)
        .integer("rooted", rooted)
        .optionalInteger("sandboxState", sandboxState)
        .boolean("isLimitAdTrackingEnabled", isLimitAdTrackingEnabled)
        .optionalText("idfv", idfv)
        .optionalText("idfa", idfa)
        .text("uuid", uuid)
        .str();
}

}  // namespace zqb

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

DeviceInfo::DeviceInfo(int64_t timestamp, std::string osVersion, std::string os,
                       std::optional<int64_t> displayPpi, std::optional<std::string> displayResolution,
                       std::optional<double> displayDiagonal, std::string manufacturer, std::string model,
                       int64_t timeZoneOffset, int64_t rooted, bool isLimitAdTrackingEnabled,
                       std::optional<std::string> idfv, std::optional<std::string> idfa, std::string uuid,
                       std::optional<int64_t> sandboxState)
    : timestamp(timestamp),
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

void DeviceInfo::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("osVersion", osVersion);
    out.member("os", os);
    out.memberIfPresent("displayPpi", displayPpi);
    out.memberIfPresent("displayResolution", displayResolution);
    if (displayDiagonal && std::isfinite(*displayDiagonal)) {
        out.member("displayDiagonal", *displayDiagonal);
    }
    out.member("manufacturer", manufacturer);
    out.member("model", model);
    out.member("timeZoneOffset", timeZoneOffset);
    out.member("rooted", rooted);
    out.member("isLimitAdTrackingEnabled", isLimitAdTrackingEnabled);
    out.memberIfPresent("idfv", idfv);
    out.memberIfPresent("idfa", idfa);
    out.member("uuid", uuid);
    out.memberIfPresent("sandboxState", sandboxState);
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

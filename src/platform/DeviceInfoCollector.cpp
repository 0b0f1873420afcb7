#include "platform/DeviceInfoCollector.hpp"

#include "foundation/TextUtils.hpp"

#include <cmath>

namespace zqb {

namespace {

std::optional<int64_t> truncatedPixels(double value) {
    // 2^63 as a double: every finite value in [-2^63, 2^63) truncates to an int64.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(value) || value >= limit || value < -limit) {
        return std::nullopt;
    }
    return static_cast<int64_t>(value);
}

}  // namespace

std::string DeviceInfoCollector::manufacturer() const {
    return text::repairUtf8(environment_.device()->manufacturer());
}

std::string DeviceInfoCollector::osName() const {
    return text::repairUtf8(environment_.device()->systemName());
}

std::string DeviceInfoCollector::osVersion() const {
    return text::repairUtf8(environment_.device()->systemVersion());
}

std::optional<std::string> DeviceInfoCollector::country() const {
    auto region = environment_.device()->regionCode();
    if (!region) {
        return std::nullopt;
    }
    return text::repairUtf8(*region);
}

std::optional<std::string> DeviceInfoCollector::language() const {
    const auto languages = environment_.device()->preferredLanguages();
    if (languages.empty()) {
        return std::nullopt;
    }
    return text::repairUtf8(languages.front().substr(0, languages.front().find('-')));
}

std::string DeviceInfoCollector::model() const {
    std::string model;
    for (const char c : environment_.device()->machine()) {
        // Machine identifiers are ASCII; anything else is left out rather than guessed at.
        if (c != '\0' && static_cast<unsigned char>(c) < 0x80) {
            model.push_back(c);
        }
    }
    return model;
}

int64_t DeviceInfoCollector::timeZoneOffset() const {
    return environment_.device()->secondsFromGMT(environment_.clock()->secondsSince1970());
}

std::optional<std::string> DeviceInfoCollector::displayResolution() const {
    const auto screen = environment_.device()->screen();
    if (!screen) {
        return std::nullopt;
    }
    return resolutionText(screen->widthPoints, screen->heightPoints, screen->scale);
}

std::optional<std::string> DeviceInfoCollector::resolutionText(double widthPoints, double heightPoints,
                                                               double scale) {
    const auto width = truncatedPixels(widthPoints * scale);
    const auto height = truncatedPixels(heightPoints * scale);
    if (!width || !height) {
        return std::nullopt;
    }
    const int64_t larger = std::max(*width, *height);
    const int64_t smaller = std::min(*width, *height);
    return std::to_string(larger) + "x" + std::to_string(smaller);
}

std::optional<std::pair<double, double>> DeviceInfoCollector::nativeScreenBounds() const {
    const auto screen = environment_.device()->screen();
    if (!screen) {
        return std::nullopt;
    }
    return std::make_pair(screen->nativeWidthPixels, screen->nativeHeightPixels);
}

}  // namespace zqb

#include "platform/DeviceInfoRepository.hpp"

#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

namespace zqb {

namespace {

constexpr std::string_view kNumberCharacters = "0123456789,";
constexpr std::string_view kTrimmedCharacters = "0123456789,.";

int64_t readNumber(std::string_view piece) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    if (error != std::errc() || end != piece.data() + piece.size()) {
        return 0;
    }
    return value;
}

bool in(int64_t value, int64_t low, int64_t high) {
    return value >= low && value <= high;
}

std::optional<int64_t> iPhonePpi(int64_t major, int64_t minor) {
    if (in(major, 1, 2)) {
        return 163;
    }
    if (in(major, 3, 6)) {
        return 326;
    }
    switch (major) {
        case 7:
            if (minor == 2) {
                return 326;
            }
            if (minor == 1) {
                return 401;
            }
            break;
        case 8:
            if (minor == 1 || minor == 4) {
                return 326;
            }
            if (minor == 2) {
                return 401;
            }
            break;
        case 9:
            if (minor == 1 || minor == 3) {
                return 326;
            }
            if (minor == 2 || minor == 4) {
                return 401;
            }
            break;
        case 10:
            if (minor == 1 || minor == 4) {
                return 326;
            }
            if (minor == 2 || minor == 5) {
                return 401;
            }
            if (minor == 3 || minor == 6) {
                return 458;
            }
            break;
        case 11:
            if (minor == 8) {
                return 326;
            }
            if (in(minor, 2, 6)) {
                return 458;
            }
            break;
        case 12:
            if (minor == 1 || minor == 8) {
                return 326;
            }
            if (in(minor, 3, 5)) {
                return 458;
            }
            break;
        case 13:
            if (minor == 1) {
                return 476;
            }
            if (minor == 2 || minor == 3) {
                return 460;
            }
            if (minor == 4) {
                return 458;
            }
            break;
        default:
            break;
    }
    return std::nullopt;
}

std::optional<int64_t> iPadPpi(int64_t major, int64_t minor) {
    if (in(major, 1, 2) && in(minor, 1, 4)) {
        return 132;
    }
    if (major == 2 && in(minor, 5, 7)) {
        return 163;
    }
    if (major == 3 && in(minor, 1, 6)) {
        return 264;
    }
    if (major == 4 && in(minor, 4, 9)) {
        return 326;
    }
    if (major == 5 && (minor == 1 || minor == 2)) {
        return 326;
    }
    if (major == 5 && (minor == 3 || minor == 4)) {
        return 264;
    }
    if (in(major, 6, 8)) {
        return 264;
    }
    if (major == 11 && (in(minor, 1, 4) || minor == 6 || minor == 7)) {
        return 264;
    }
    if (major == 13 && (minor == 1 || minor == 2)) {
        return 326;
    }
    return std::nullopt;
}

std::optional<int64_t> iPodPpi(int64_t major) {
    if (in(major, 1, 3)) {
        return 163;
    }
    if (in(major, 4, 9)) {
        return 326;
    }
    return std::nullopt;
}

}  // namespace

DeviceInfoRepository::DeviceInfoRepository(std::shared_ptr<DeviceInfoCollectorProtocol> collector,
                                           std::shared_ptr<RootedCheckProtocol> rootedCheck)
    : collector_(std::move(collector)), rootedCheck_(std::move(rootedCheck)) {}

std::string DeviceInfoRepository::manufacturer() const {
    return collector_->manufacturer();
}

std::string DeviceInfoRepository::osName() const {
    return collector_->osName();
}

std::string DeviceInfoRepository::osVersion() const {
    return collector_->osVersion();
}

std::string DeviceInfoRepository::country() const {
    return collector_->country().value_or("");
}

std::optional<std::string> DeviceInfoRepository::language() const {
    return collector_->language();
}

std::optional<std::string> DeviceInfoRepository::displayResolution() const {
    return collector_->displayResolution();
}

std::optional<double> DeviceInfoRepository::displayDiagonal() const {
    const auto bounds = collector_->nativeScreenBounds();
    const auto ppi = displayPpi();
    if (!bounds || !ppi || *ppi == 0) {
        return std::nullopt;
    }
    const double ppiValue = static_cast<double>(*ppi);
    const double width = bounds->first / ppiValue;
    const double height = bounds->second / ppiValue;
    return std::sqrt(width * width + height * height);
}

std::string DeviceInfoRepository::model() const {
    return collector_->model();
}

int64_t DeviceInfoRepository::timeZoneOffset() const {
    return collector_->timeZoneOffset();
}

std::optional<int64_t> DeviceInfoRepository::displayPpi() const {
    return pixelsPerInch(collector_->model());
}

void DeviceInfoRepository::isRooted(std::function<void(bool)> completion) {
    rootedCheck_->isRooted(std::move(completion));
}

std::optional<int64_t> DeviceInfoRepository::pixelsPerInch(const std::string& model) {
    const std::string_view text(model);
    const std::size_t first = text.find_first_not_of(kTrimmedCharacters);
    const std::string_view family =
        first == std::string_view::npos
            ? std::string_view()
            : text.substr(first, text.find_last_not_of(kTrimmedCharacters) - first + 1);

    std::string digits;
    for (const char c : text) {
        if (kNumberCharacters.find(c) != std::string_view::npos) {
            digits.push_back(c);
        }
    }
    std::vector<std::string_view> pieces;
    std::string_view rest(digits);
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view piece = rest.substr(0, comma);
        if (!piece.empty()) {
            pieces.push_back(piece);
        }
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    const int64_t major = pieces.size() > 0 ? readNumber(pieces[0]) : 0;
    const int64_t minor = pieces.size() > 1 ? readNumber(pieces[1]) : 0;

    if (family == "iPhone") {
        return iPhonePpi(major, minor);
    }
    if (family == "iPad") {
        return iPadPpi(major, minor);
    }
    if (family == "iPod") {
        return iPodPpi(major);
    }
    return std::nullopt;
}

}  // namespace zqb

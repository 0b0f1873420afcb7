#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

/// Verbosity of the library's log. A message is handed to the engine logger closure when the configured
/// level is at least the message's level. The default is `error`.
enum class ZQBLogLevel : int {
    unknown = 0,  ///< No level chosen; as a configured level it leaves the current one unchanged.
    no = 1,       ///< Logging off.
    error = 2,
    warning = 3,
    info = 4,
    debug = 5,
};

/// Whether the host allows tracking (see `ZQBAnalyticsConfiguration`).
enum class ZQBTrackingStatus : int { unknown = 0, enable = 1, disable = 2 };

/// Kind of a currency accrual.
enum class ZQBAccrualType : int { earned = 0, bought = 1 };

/// Gender of the user card.
enum class ZQBGender : int { unknown = 0, male = 1, female = 2 };

/// Outcome of a receipt verification.
enum class ZQBReceiptStatus : int {
    valid = 0,
    notValid = 1,
    serverError = 2,
    sandbox = 3,
    internalError = 4,
};

namespace zqb_detail {
template <typename E, int Max>
constexpr std::optional<E> enumFromRawValue(int64_t raw) {
    if (raw < 0 || raw > Max) {
        return std::nullopt;
    }
    return static_cast<E>(static_cast<int>(raw));
}
}  // namespace zqb_detail

/// The case with the given raw value, or nothing when no case has it.
constexpr std::optional<ZQBLogLevel> ZQBLogLevelFromRawValue(int64_t raw) {
    return zqb_detail::enumFromRawValue<ZQBLogLevel, 5>(raw);
}
constexpr std::optional<ZQBTrackingStatus> ZQBTrackingStatusFromRawValue(int64_t raw) {
    return zqb_detail::enumFromRawValue<ZQBTrackingStatus, 2>(raw);
}
constexpr std::optional<ZQBAccrualType> ZQBAccrualTypeFromRawValue(int64_t raw) {
    return zqb_detail::enumFromRawValue<ZQBAccrualType, 1>(raw);
}
constexpr std::optional<ZQBGender> ZQBGenderFromRawValue(int64_t raw) {
    return zqb_detail::enumFromRawValue<ZQBGender, 2>(raw);
}
constexpr std::optional<ZQBReceiptStatus> ZQBReceiptStatusFromRawValue(int64_t raw) {
    return zqb_detail::enumFromRawValue<ZQBReceiptStatus, 4>(raw);
}

/// Every log level in raw-value order.
inline constexpr std::array<ZQBLogLevel, 6> ZQBLogLevelAllCases{ZQBLogLevel::unknown, ZQBLogLevel::no,
                                                                ZQBLogLevel::error,   ZQBLogLevel::warning,
                                                                ZQBLogLevel::info,    ZQBLogLevel::debug};

/// The printed word of a level, as it starts every log line: "UNKNOWN", "NO", "ERROR", "WARNING", "INFO",
/// "DEBUG".
constexpr std::string_view description(ZQBLogLevel level) {
    switch (level) {
        case ZQBLogLevel::no:
            return "NO";
        case ZQBLogLevel::error:
            return "ERROR";
        case ZQBLogLevel::warning:
            return "WARNING";
        case ZQBLogLevel::info:
            return "INFO";
        case ZQBLogLevel::debug:
            return "DEBUG";
        case ZQBLogLevel::unknown:
            break;
    }
    return "UNKNOWN";
}

constexpr std::string_view description(ZQBTrackingStatus status) {
    switch (status) {
        case ZQBTrackingStatus::enable:
            return "ENABLE";
        case ZQBTrackingStatus::disable:
            return "DISABLE";
        case ZQBTrackingStatus::unknown:
            break;
    }
    return "UNKNOWN";
}

constexpr std::string_view description(ZQBAccrualType type) {
    return type == ZQBAccrualType::bought ? "bought" : "earned";
}

constexpr std::string_view description(ZQBGender gender) {
    switch (gender) {
        case ZQBGender::male:
            return "Male";
        case ZQBGender::female:
            return "Female";
        case ZQBGender::unknown:
            break;
    }
    return "Unknown";
}

constexpr std::string_view description(ZQBReceiptStatus status) {
    switch (status) {
        case ZQBReceiptStatus::valid:
            return "Receipt valid";
        case ZQBReceiptStatus::notValid:
            return "Receipt not valid";
        case ZQBReceiptStatus::serverError:
            return "Receipt server error";
        case ZQBReceiptStatus::sandbox:
            return "Receipt sandbox";
        case ZQBReceiptStatus::internalError:
            break;
    }
    return "Receipt internal error";
}

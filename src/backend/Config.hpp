#pragma once

#include "backend/BackendUserProperties.hpp"
#include "backend/ExcludeEvents.hpp"
#include "host/Clock.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zqb {

// The project's analytics configuration as the gateway sends it: batch size, timer periods (milliseconds),
// session timeout, and what is excluded. The project row stores it as JSON text.
struct Config {
    int64_t timeForRequest = 120000;  // period of the request timer
    int64_t countForRequest = 10;     // stored events that trigger a send; most events in one package
    int64_t eventParamsCount = 20;    // most parameters of a custom event
    int64_t sessionTimeout = 600000;  // background time after which a new session starts
    int64_t serverTime = 0;           // the gateway's time, ms since 1970
    int64_t aliveTimeout = 300000;    // period of the alive timer
    bool userCounting = true;         // users counted by user id; true to false removes inactive users' data
    std::optional<int64_t> currencyAggregationTimeout{};   // period of the currency-accrual timer
    std::optional<std::vector<std::string>> sbsBundles{};  // subscription products whose history is gathered
    std::optional<int64_t> sbsConfigVersion{};
    std::optional<ExcludeEvents> exclude{};
    std::optional<BackendUserProperties> userProperties{};

    bool operator==(const Config&) const = default;

    // The built-in configuration, made once on first use: the defaults above, 360000 for the currency
    // accrual period, 0 as subscription settings version, and `serverTime` the time of `clock` at that
    // first use. Every later use gets the same value; its clock is not read.
    static const Config& defaulConfiguration(const host::ClockProtocol& clock);

    // Reads the gateway's answer or a stored text. Throws WireDecodingError: the seven required members
    // must be present with their exact types (integers, a boolean), optional members may be missing or
    // null, unknown members are ignored, and a failure inside "exclude" fails the whole configuration.
    static Config fromJson(const nlohmann::ordered_json& json);
    static Config decode(std::string_view text);

    // Required members always, optional ones only when present. Throws only for exclusion values JSON
    // cannot carry (which decoding never produces).
    nlohmann::ordered_json toJson() const;
};

void to_json(nlohmann::ordered_json& json, const Config& config);

}  // namespace zqb

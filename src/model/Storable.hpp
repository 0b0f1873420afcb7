#pragma once

#include "model/JsonText.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// A map of currency (or item) name to amount, as balances, prices in currency and resources are reported.
// Its JSON members and description lines come in key order; readers give that order no meaning.
using IntMap = std::map<std::string, int64_t>;

// What every event record is: a value with a short event code that writes itself as one JSON object in its
// own key order and prints itself as one line per member for the log.
class Storable {
public:
    virtual ~Storable() = default;

    // The record's event code ("ss", "ce", ...).
    virtual const std::string& eventCode() const = 0;

    // The record's members in its key order. Values that JSON cannot carry (a NaN or an infinite double, a
    // dynamic value of an unknown kind) make `getJson()` fail, either here or when the tree is written.
    virtual nlohmann::ordered_json toJson() const = 0;

    // The text form logged when the record is stored: one "\t key: value\n" line per member.
    virtual std::string description() const = 0;

    // Compact JSON text of the record, or "" after an ERROR line when it cannot be encoded. Never throws.
    std::string getJson() const;

    // The current time in Unix milliseconds from the environment's clock: every record's time stamp.
    static int64_t currentTimestamp();

    // The experiment fields close every record that has them, "inProgress" then "inExperiments", each left
    // out when absent.
    static void putExperimentFields(nlohmann::ordered_json& json,
                                    const std::optional<std::vector<std::string>>& inProgress,
                                    const std::optional<std::string>& inExperiments);

protected:
    Storable() = default;
    Storable(const Storable&) = default;
    Storable(Storable&&) = default;
    Storable& operator=(const Storable&) = default;
    Storable& operator=(Storable&&) = default;
};

// Lets any record be handed to `toJSONData`/`toPrettyJson` or nested in a larger tree.
inline void to_json(nlohmann::ordered_json& json, const Storable& record) {
    json = record.toJson();
}

// Writes an optional member only when it has a value.
template <typename T>
void putIfPresent(nlohmann::ordered_json& json, const char* key, const std::optional<T>& value) {
    if (value) {
        json[key] = *value;
    }
}

}  // namespace zqb

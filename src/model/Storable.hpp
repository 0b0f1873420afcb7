#pragma once

#include "model/JsonText.hpp"
#include "model/JsonWriter.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// What every event record is: a value with a short event code that writes itself as one JSON object in its
// own key order and prints itself as one line per member for the log.
class Storable {
public:
    virtual ~Storable() = default;

    // The record's event code ("ss", "ce", ...).
    virtual const std::string& eventCode() const = 0;

    // Writes the record's members, in its key order, into the object `out` has open. Values that JSON cannot
    // carry (a NaN or an infinite double, a dynamic value of an unknown kind) make the encoding fail.
    virtual void writeMembers(JsonWriter& out) const = 0;

    // The record as a JSON object. Values JSON cannot carry are kept in the tree and fail when it is
    // written.
    nlohmann::ordered_json toJson() const;

    // The text form logged when the record is stored: one "\t key: value\n" line per member.
    virtual std::string description() const = 0;

    // Compact JSON text of the record, or "" after an ERROR line when it cannot be encoded. Never throws.
    std::string getJson() const;

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

}  // namespace zqb

#pragma once

#include "foundation/Decimal.hpp"
#include "model/Storable.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zqb {

// Builds a record's text form: one "\t key: value\n" line per member, members without a value left out.
// Doubles print in their shortest round-trip form ("5.0", "1e-05"), lists as ["a", "b"].
class RecordDescription {
public:
    RecordDescription& text(std::string_view key, std::string_view value);
    RecordDescription& optionalText(std::string_view key, const std::optional<std::string>& value);
    RecordDescription& integer(std::string_view key, int64_t value);
    RecordDescription& optionalInteger(std::string_view key, const std::optional<int64_t>& value);
    RecordDescription& boolean(std::string_view key, bool value);
    RecordDescription& number(std::string_view key, double value);
    RecordDescription& optionalNumber(std::string_view key, const std::optional<double>& value);
    RecordDescription& decimal(std::string_view key, const Decimal& value);
    RecordDescription& list(std::string_view key, const std::optional<std::vector<std::string>>& value);

    // The block of a name-to-amount map: "\t <name>: \n", then one "\t\t <first>: <key> <second>: <amount>"
    // line per entry, joined by "\n", then a closing "\n". A missing or empty map prints nothing.
    RecordDescription& mapBlock(std::string_view name, const std::optional<IntMap>& map,
                                std::string_view first, std::string_view second);

    // The block of a parameter map whose values describe themselves: "\t parameters: \n", then one
    // "\t\t parameter key: <key> value: <value>" line per entry, joined by "\n", then a closing "\n".
    // A missing or empty map prints nothing.
    template <typename Map>
    RecordDescription& parameterBlock(const std::optional<Map>& parameters) {
        if (!parameters || parameters->empty()) {
            return *this;
        }
        std::string block = "\t parameters: \n";
        bool first = true;
        for (const auto& [key, value] : *parameters) {
            if (!first) {
                block += '\n';
            }
            first = false;
            block += "\t\t parameter key: " + key + " value: " + value.description();
        }
        return raw(block + "\n");
    }

    // The experiment fields' lines, when present.
    RecordDescription& experimentFields(const std::optional<std::vector<std::string>>& inProgress,
                                        const std::optional<std::string>& inExperiments);

    // Text appended as it is, for blocks of a record's own shape.
    RecordDescription& raw(std::string_view text);

    // A list printed the way a line shows it: ["a", "b"].
    static std::string listText(const std::vector<std::string>& values);

    std::string str() const { return out_; }

private:
    std::string out_;
};

}  // namespace zqb

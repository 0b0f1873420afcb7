#include "model/RecordDescription.hpp"

#include "foundation/TextUtils.hpp"

namespace zqb {

RecordDescription& RecordDescription::text(std::string_view key, std::string_view value) {
    out_ += "\t ";
    out_ += key;
    out_ += ": ";
    out_ += value;
    out_ += '\n';
    return *this;
}

RecordDescription& RecordDescription::optionalText(std::string_view key,
                                                   const std::optional<std::string>& value) {
    return value ? text(key, std::string_view(*value)) : *this;
}

RecordDescription& RecordDescription::integer(std::string_view key, int64_t value) {
    return text(key, std::to_string(value));
}

RecordDescription& RecordDescription::optionalInteger(std::string_view key,
                                                      const std::optional<int64_t>& value) {
    return value ? integer(key, *value) : *this;
}

RecordDescription& RecordDescription::boolean(std::string_view key, bool value) {
    return text(key, value ? "true" : "false");
}

RecordDescription& RecordDescription::number(std::string_view key, double value) {
    return text(key, text::doubleDescription(value));
}

RecordDescription& RecordDescription::optionalNumber(std::string_view key,
                                                     const std::optional<double>& value) {
    return value ? number(key, *value) : *this;
}

RecordDescription& RecordDescription::decimal(std::string_view key, const Decimal& value) {
    return text(key, value.toString());
}

RecordDescription& RecordDescription::list(std::string_view key,
                                           const std::optional<std::vector<std::string>>& value) {
    return value ? text(key, listText(*value)) : *this;
}

RecordDescription& RecordDescription::mapBlock(std::string_view name, const std::optional<IntMap>& map,
                                               std::string_view first, std::string_view second) {
    if (!map || map->empty()) {
        return *this;
    }
    out_ += "\t ";
    out_ += name;
    out_ += ": \n";
    bool firstEntry = true;
    for (const auto& [key, amount] : *map) {
        if (!firstEntry) {
            out_ += '\n';
        }
        firstEntry = false;
        out_ += "\t\t ";
        out_ += first;
        out_ += ": ";
        out_ += key;
        out_ += ' ';
        out_ += second;
        out_ += ": ";
        out_ += std::to_string(amount);
    }
    out_ += '\n';
    return *this;
}

RecordDescription& RecordDescription::experimentFields(
    const std::optional<std::vector<std::string>>& inProgress,
    const std::optional<std::string>& inExperiments) {
    list("inProgress", inProgress);
    return optionalText("inExperiments", inExperiments);
}

RecordDescription& RecordDescription::raw(std::string_view text) {
    out_ += text;
    return *this;
}

std::string RecordDescription::listText(const std::vector<std::string>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        out += '"';
        // Quoted the way the elements' own debug text shows them.
        for (const char c : values[i]) {
            if (c == '"' || c == '\\') {
                out += '\\';
            }
            out += c;
        }
        out += '"';
    }
    out += ']';
    return out;
}

}  // namespace zqb

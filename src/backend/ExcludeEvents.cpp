#include "backend/ExcludeEvents.hpp"

#include "backend/WireReader.hpp"

namespace zqb {

ExcludeEvents ExcludeEvents::fromJson(const nlohmann::ordered_json& json, std::vector<std::string> path) {
    const WireReader reader(json, std::move(path));
    ExcludeEvents exclude;
    exclude.version = reader.requiredInt64("version");
    exclude.all = reader.optionalBool("all");
    if (const auto* events = reader.optional("events")) {
        const WireReader codes = reader.object("events", *events);
        std::map<std::string, AnyCodableList> table;
        for (const auto& [code, values] : events->items()) {
            if (!values.is_array()) {
                WireReader::typeMismatch("Array", codes.pathTo(code), values);
            }
            AnyCodableList list;
            list.reserve(values.size());
            for (std::size_t i = 0; i < values.size(); ++i) {
                try {
                    list.push_back(AnyCodable::fromJson(values[i]));
                } catch (const std::exception& error) {
                    throw WireDecodingError(WireDecodingError::Kind::dataCorrupted, "", codes.pathTo(code, i),
                                            error.what());
                }
            }
            table[code] = std::move(list);
        }
        exclude.events = std::move(table);
    }
    return exclude;
}

nlohmann::ordered_json ExcludeEvents::toJson() const {
    nlohmann::ordered_json json = nlohmann::ordered_json::object();
    json["version"] = version;
    if (all) {
        json["all"] = *all;
    }
    if (events) {
        nlohmann::ordered_json table = nlohmann::ordered_json::object();
        for (const auto& [code, values] : *events) {
            nlohmann::ordered_json list = nlohmann::ordered_json::array();
            for (const auto& value : values) {
                list.push_back(value.toJson());
            }
            table[code] = std::move(list);
        }
        json["events"] = std::move(table);
    }
    return json;
}

}  // namespace zqb

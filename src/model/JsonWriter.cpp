#include "model/JsonWriter.hpp"

namespace zqb {

void JsonWriter::member(std::string_view name, std::string_view value) {
    key(name);
    string(value);
}

void JsonWriter::member(std::string_view name, int64_t value) {
    key(name);
    integer(value);
}

void JsonWriter::member(std::string_view name, bool value) {
    key(name);
    boolean(value);
}

void JsonWriter::member(std::string_view name, double value) {
    key(name);
    number(value);
}

void JsonWriter::member(std::string_view name, const std::vector<std::string>& value) {
    key(name);
    beginArray();
    for (const auto& element : value) {
        string(element);
    }
    endArray();
}

void JsonWriter::member(std::string_view name, const IntMap& value) {
    key(name);
    object(value);
}

void JsonWriter::member(std::string_view name, const std::map<std::string, IntMap>& value) {
    key(name);
    beginObject();
    for (const auto& [inner, amounts] : value) {
        key(inner);
        object(amounts);
    }
    endObject();
}

void JsonWriter::experimentFields(const std::optional<std::vector<std::string>>& inProgress,
                                  const std::optional<std::string>& inExperiments) {
    memberIfPresent("inProgress", inProgress);
    memberIfPresent("inExperiments", inExperiments);
}

void JsonWriter::object(const IntMap& value) {
    beginObject();
    for (const auto& [name, amount] : value) {
        key(name);
        integer(amount);
    }
    endObject();
}

}  // namespace zqb

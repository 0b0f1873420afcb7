#include "backend/WireReader.hpp"

#include "model/JsonSupport.hpp"
#include "model/JsonText.hpp"

namespace zqb {
namespace {

using Json = nlohmann::ordered_json;

std::string typeName(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null:
            return "a null value";
        case Json::value_t::boolean:
            return "a boolean";
        case Json::value_t::string:
            return "a String";
        case Json::value_t::array:
            return "an array";
        case Json::value_t::object:
            return "a dictionary";
        default:
            return "a number";
    }
}

bool isNumber(const Json& value) {
    return value.is_number() || numberAsDouble(value).has_value();
}

}  // namespace

Json WireReader::parse(std::string_view text) {
    try {
        return JsonText::parse(text);
    } catch (const std::exception& error) {
        throw WireDecodingError(WireDecodingError::Kind::dataCorrupted, "", {},
                                "The given data was not valid JSON. " + std::string(error.what()));
    }
}

WireReader::WireReader(const Json& json, std::vector<std::string> path)
    : json_(json), path_(std::move(path)) {
    if (!json_.is_object()) {
        typeMismatch("Dictionary", path_, json_);
    }
}

void WireReader::typeMismatch(const std::string& expected, const std::vector<std::string>& path,
                              const Json& found) {
    if (isNumber(found) && expected == "Int") {
        throw WireDecodingError(WireDecodingError::Kind::dataCorrupted, "", path,
                                "Parsed JSON number does not fit in Int.");
    }
    throw WireDecodingError(WireDecodingError::Kind::typeMismatch, expected, path,
                            "Expected to decode " + expected + " but found " + typeName(found) + " instead.");
}

std::vector<std::string> WireReader::pathTo(const std::string& key) const {
    std::vector<std::string> path = path_;
    path.push_back(key);
    return path;
}

std::vector<std::string> WireReader::pathTo(const std::string& key, std::size_t index) const {
    std::vector<std::string> path = pathTo(key);
    path.push_back("Index " + std::to_string(index));
    return path;
}

const Json& WireReader::required(const std::string& key) const {
    const auto found = json_.find(key);
    if (found == json_.end()) {
        throw WireDecodingError(WireDecodingError::Kind::keyNotFound, "\"" + key + "\"", path_,
                                "No value associated with key \"" + key + "\".");
    }
    if (found->is_null()) {
        throw WireDecodingError(WireDecodingError::Kind::valueNotFound, "", pathTo(key),
                                "Expected a value but found null instead.");
    }
    return *found;
}

const Json* WireReader::optional(const std::string& key) const {
    const auto found = json_.find(key);
    if (found == json_.end() || found->is_null()) {
        return nullptr;
    }
    return &*found;
}

int64_t WireReader::int64At(const Json& value, const std::vector<std::string>& path) {
    if (!value.is_boolean()) {
        if (const auto number = wholeInt64(value)) {
            return *number;
        }
    }
    typeMismatch("Int", path, value);
}

std::string WireReader::stringAt(const Json& value, const std::vector<std::string>& path) {
    if (!value.is_string()) {
        typeMismatch("String", path, value);
    }
    return value.get<std::string>();
}

bool WireReader::boolAt(const Json& value, const std::vector<std::string>& path) {
    if (!value.is_boolean()) {
        typeMismatch("Bool", path, value);
    }
    return value.get<bool>();
}

int64_t WireReader::requiredInt64(const std::string& key) const {
    return int64At(required(key), pathTo(key));
}

std::optional<int64_t> WireReader::optionalInt64(const std::string& key) const {
    const Json* value = optional(key);
    return value ? std::optional(int64At(*value, pathTo(key))) : std::nullopt;
}

bool WireReader::requiredBool(const std::string& key) const {
    return boolAt(required(key), pathTo(key));
}

std::optional<bool> WireReader::optionalBool(const std::string& key) const {
    const Json* value = optional(key);
    return value ? std::optional(boolAt(*value, pathTo(key))) : std::nullopt;
}

std::string WireReader::requiredString(const std::string& key) const {
    return stringAt(required(key), pathTo(key));
}

std::optional<std::string> WireReader::optionalString(const std::string& key) const {
    const Json* value = optional(key);
    return value ? std::optional(stringAt(*value, pathTo(key))) : std::nullopt;
}

WireReader WireReader::object(const std::string& key) const {
    return object(key, required(key));
}

WireReader WireReader::object(const std::string& key, const Json& value) const {
    return WireReader(value, pathTo(key));
}

const Json& WireReader::array(const std::string& key, const Json& value) const {
    if (!value.is_array()) {
        typeMismatch("Array", pathTo(key), value);
    }
    return value;
}

}  // namespace zqb

#include "model/Package.hpp"

#include "model/AnyCodable.hpp"
#include "model/JsonSupport.hpp"
#include "model/JsonText.hpp"
#include "model/PackedEventText.hpp"

#include <exception>

namespace zqb {
namespace {

using Json = nlohmann::ordered_json;

Json nullable(const std::optional<std::string>& text) {
    return text ? Json(*text) : Json(nullptr);
}

// An event text as the object it holds, its values passed through the dynamic value rules.
Json eventObject(const std::string& text) {
    try {
        const AnyCodable value = AnyCodable::fromJson(JsonText::parse(text));
        if (value.mapValue() != nullptr) {
            return value.toJson();
        }
    } catch (const std::exception&) {
        // Not JSON, not an object, or nested beyond reason: sent as an empty object.
    }
    return Json::object();
}

// The stored "events" array, each object written again as compact text; any element that is not an
// object empties the whole list, and an object that cannot be written is dropped.
std::vector<std::string> readEvents(const Json& package) {
    std::vector<std::string> events;
    const auto found = package.find("events");
    if (found == package.end() || !found->is_array()) {
        return events;
    }
    std::vector<AnyCodable> objects;
    try {
        for (const auto& element : *found) {
            if (!element.is_object()) {
                return events;
            }
            objects.push_back(AnyCodable::fromJson(element));
        }
    } catch (const std::exception&) {
        return events;
    }
    for (const auto& object : objects) {
        try {
            events.push_back(JsonText::write(object.toJson()));
        } catch (const std::exception&) {
        }
    }
    return events;
}

// The package's facts, its events empty.
Json factsJson(const Package& package) {
    Json json = Json::object();
    json["language"] = nullable(package.language);
    json["appVersion"] = nullable(package.appVersion);
    json["appBuildVersion"] = nullable(package.appBuildVersion);
    json["sdkVersion"] = package.sdkVersion;
    json["sdkCodeVersion"] = package.sdkCodeVersion;
    json["bundle"] = nullable(package.bundle);
    json["engine"] = package.engine;
    json["events"] = Json::array();
    return json;
}

}  // namespace

void appendPackageText(std::string& out, const Package& package) {
    std::string facts = JsonText::write(factsJson(package));
    // The facts end in the empty events list, "[]}": the events go between its brackets.
    facts.resize(facts.size() - 2);
    out += facts;
    if (package.events) {
        bool first = true;
        for (const auto& text : *package.events) {
            if (!first) {
                out += ',';
            }
            first = false;
            if (!PackedEventText::append(out, text)) {
                out += JsonText::write(eventObject(text));
            }
        }
    }
    out += "]}";
}

void to_json(Json& json, const Package& package) {
    // The tree of the one text a package has, so that what a log shows is what is sent.
    std::string text;
    appendPackageText(text, package);
    json = Json::parse(text);
}

void from_json(const Json& json, Package& package) {
    Package read;
    read.language = requiredNullableString(json, "language");
    read.appVersion = requiredNullableString(json, "appVersion");
    read.appBuildVersion = requiredNullableString(json, "appBuildVersion");
    read.sdkVersion = requiredString(json, "sdkVersion");
    read.sdkCodeVersion = requiredInteger(json, "sdkCodeVersion");
    read.bundle = requiredNullableString(json, "bundle");
    read.events = readEvents(json);
    package = std::move(read);
}

}  // namespace zqb

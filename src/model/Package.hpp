#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// One chunk of a report: event texts with the application and library facts the gateway reads them by.
struct Package {
    std::optional<std::string> language;
    std::optional<std::string> appVersion;
    std::optional<std::string> appBuildVersion;
    std::string sdkVersion;
    int64_t sdkCodeVersion = 0;
    std::optional<std::string> bundle;
    std::string engine = "Unreal";
    std::optional<std::vector<std::string>> events;  // stored event texts, in row order
};

// Appends the compact text of the package's JSON form, without building a tree per event: all eight keys,
// always, in field order, absent texts as null; each event text goes in as the JSON object it holds, its
// values passed through the dynamic value rules, or as {} when it holds no object. The one writer of a
// package. Throws JsonText::EncodingError when the package cannot be written.
void appendPackageText(std::string& out, const Package& package);
// The tree of that text; throws as it does.
void to_json(nlohmann::ordered_json& json, const Package& package);
// Reads a stored package; throws DecodingError when a required key is missing or of another type. The
// engine is not read (always "Unreal"); unreadable "events" give an empty list.
void from_json(const nlohmann::ordered_json& json, Package& package);

}  // namespace zqb

#include "support/ReportTrees.hpp"

#include "model/AnyCodable.hpp"
#include "model/JsonText.hpp"

#include <exception>

namespace zqb::test {
namespace {

using Json = nlohmann::ordered_json;

Json textOrNull(const std::optional<std::string>& text) {
    return text.has_value() ? Json(*text) : Json();
}

Json eventTree(const std::string& text) {
    Json read;
    try {
        read = AnyCodable::fromJson(JsonText::parse(text)).toJson();
    } catch (const std::exception&) {
        return Json::object();
    }
    return read.is_object() ? read : Json::object();
}

Json bodyTree(const Reports& body) {
    Json reports = Json::array();
    for (const auto& report : body.reports) {
        if (report == nullptr) {
            continue;
        }
        Json packages = Json::array();
        for (const auto& package : report->packages) {
            packages.push_back(packageTree(package));
        }
        reports.push_back(Json{{"packages", std::move(packages)}});
    }
    return Json{{"reports", std::move(reports)}};
}

}  // namespace

Json packageTree(const Package& package) {
    Json events = Json::array();
    for (const auto& text : package.events.value_or(std::vector<std::string>{})) {
        events.push_back(eventTree(text));
    }
    return Json{{"language", textOrNull(package.language)},
                {"appVersion", textOrNull(package.appVersion)},
                {"appBuildVersion", textOrNull(package.appBuildVersion)},
                {"sdkVersion", package.sdkVersion},
                {"sdkCodeVersion", package.sdkCodeVersion},
                {"bundle", textOrNull(package.bundle)},
                {"engine", package.engine},
                {"events", std::move(events)}};
}

std::string treePackagesText(const std::vector<Package>& packages) {
    Json trees = Json::array();
    for (const auto& package : packages) {
        trees.push_back(packageTree(package));
    }
    try {
        return JsonText::write(trees);
    } catch (const std::exception&) {
        return "[]";
    }
}

std::optional<std::string> treeBody(const Reports& body) {
    try {
        return JsonText::write(bodyTree(body));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string treeBodyPretty(const Reports& body) {
    try {
        return JsonText::write(bodyTree(body), JsonText::Style::pretty);
    } catch (const std::exception&) {
        return "Error in getting prettyJson";
    }
}

}  // namespace zqb::test

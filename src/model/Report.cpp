#include "model/Report.hpp"

#include "foundation/TextUtils.hpp"
#include "model/JsonSupport.hpp"
#include "model/JsonText.hpp"

#include <exception>

namespace zqb {

Report::Report(std::vector<Package> packages) : packages(std::move(packages)), uuid(text::uuidString()) {}

std::shared_ptr<Report> Report::fromRow(const SQLiteRow& row) {
    const auto id = rowInteger(row, 0);
    const auto userId = rowInteger(row, 1);
    auto uuid = rowText(row, 3);
    if (!id || !userId || !uuid) {
        return nullptr;
    }
    auto packagesJson = rowText(row, 2);
    std::vector<Package> packages;
    if (packagesJson) {
        packages = decodeJson<std::vector<Package>>(*packagesJson).value_or(std::vector<Package>{});
    }
    auto report = std::make_shared<Report>(std::move(packages));
    report->idKey = *id;
    report->userId = *userId;
    report->packagesJson = std::move(packagesJson);
    report->uuid = std::move(*uuid);
    return report;
}

std::string Report::packagesText(const std::vector<Package>& packages) {
    try {
        std::string text = "[";
        for (std::size_t index = 0; index < packages.size(); ++index) {
            if (index > 0) {
                text += ',';
            }
            appendPackageText(text, packages[index]);
        }
        return text + "]";
    } catch (const std::exception&) {
        return "[]";
    }
}

void to_json(nlohmann::ordered_json& json, const Report& report) {
    json = nlohmann::ordered_json::object();
    json["packages"] = report.packages;
}

}  // namespace zqb

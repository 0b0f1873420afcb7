#include "model/Report.hpp"

#include "foundation/TextUtils.hpp"
#include "model/JsonSupport.hpp"
#include "model/JsonText.hpp"

#include <exception>

namespace zqb {

Report::Report(std::vector<Package> packages) : packages(std::move(packages)), uuid(text::uuidString()) {}

namespace {

// The packages' JSON array; throws JsonText::EncodingError when a package cannot be written.
void appendPackages(std::string& out, const std::vector<Package>& packages) {
    out += '[';
    for (std::size_t index = 0; index < packages.size(); ++index) {
        if (index > 0) {
            out += ',';
        }
        appendPackageText(out, packages[index]);
    }
    out += ']';
}

std::optional<std::string> writtenPackages(const std::vector<Package>& packages) {
    try {
        std::string text;
        appendPackages(text, packages);
        return text;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

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
    // What this library stored reads back to the text it was written from; any other text (an earlier
    // writer's, one that does not read) leaves the upload to be written from what it reads as.
    report->packagesJsonIsWritten_ = packagesJson && writtenPackages(report->packages) == packagesJson;
    report->packagesJson = std::move(packagesJson);
    report->uuid = std::move(*uuid);
    return report;
}

std::string Report::packagesText(const std::vector<Package>& packages) {
    return writtenPackages(packages).value_or("[]");
}

std::string Report::keepPackagesText() {
    auto text = writtenPackages(packages);
    packagesJsonIsWritten_ = text.has_value();
    packagesJson = text.value_or("[]");
    return *packagesJson;
}

void Report::appendText(std::string& out) const {
    out += R"({"packages":)";
    if (packagesJsonIsWritten_ && packagesJson) {
        out += *packagesJson;
    } else {
        appendPackages(out, packages);
    }
    out += '}';
}

void to_json(nlohmann::ordered_json& json, const Report& report) {
    std::string text;
    report.appendText(text);
    json = nlohmann::ordered_json::parse(text);
}

}  // namespace zqb

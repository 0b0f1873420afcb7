#pragma once

#include "database/SQLiteValue.hpp"
#include "model/Identifiers.hpp"
#include "model/Package.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// One report: a row of "reports" and an element of the upload body. Shared between the reports
// repository's cache and the report service.
struct Report {
    // A new report of these packages, not stored yet, with a fresh upper-case UUID text.
    explicit Report(std::vector<Package> packages);

    int64_t idKey = -1;   // row id; -1 while not stored
    int64_t userId = -1;  // idKey of the user whose events the report holds
    // The stored packages text: on a report read from its row, and on one whose row was written by
    // `keepPackagesText`.
    std::optional<std::string> packagesJson;
    std::vector<Package> packages;
    std::string uuid;
    std::optional<std::string> appKey;       // not stored; set before sending
    std::optional<Identifiers> identifiers;  // not stored; the request headers, set before sending

    // Columns: 0 id, 1 userId, 3 uuid required; 2 packagesJson optional text. A packages text that does
    // not read (one bad package is enough) gives no packages.
    static std::shared_ptr<Report> fromRow(const SQLiteRow& row);

    // The text stored in "packagesJson": the packages by the package rules, or "[]" when they cannot be
    // written.
    static std::string packagesText(const std::vector<Package>& packages);

    // `packagesText` of the packages, for the report's row, kept as `packagesJson` too: the upload is then
    // written from it instead of from the packages again. Nothing writes a report's packages once its row
    // is written.
    std::string keepPackagesText();

    // Appends the report's JSON form, exactly one key, "packages": the stored packages text where it is the
    // text of `packages`, else `packages` written afresh (a stored text of another writer, or one that does
    // not read). Throws JsonText::EncodingError when the packages cannot be written.
    void appendText(std::string& out) const;

private:
    // `packagesJson` is the text that writing `packages` gives.
    bool packagesJsonIsWritten_ = false;
};

// The tree of the report's text.
void to_json(nlohmann::ordered_json& json, const Report& report);

}  // namespace zqb

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

    int64_t idKey = -1;                       // row id; -1 while not stored
    int64_t userId = -1;                      // idKey of the user whose events the report holds
    std::optional<std::string> packagesJson;  // the stored packages text; only on a report read from its row
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
};

// Exactly one key, "packages".
void to_json(nlohmann::ordered_json& json, const Report& report);

}  // namespace zqb

#pragma once

#include "model/Report.hpp"

#include <nlohmann/json.hpp>

#include <memory>
#include <vector>

namespace zqb {

// The body of a report upload.
struct Reports {
    std::vector<std::shared_ptr<Report>> reports;
};

// Exactly one key, "reports", always written.
void to_json(nlohmann::ordered_json& json, const Reports& body);

}  // namespace zqb

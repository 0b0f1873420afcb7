#pragma once

#include "model/Report.hpp"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

namespace zqb {

// The body of a report upload.
struct Reports {
    std::vector<std::shared_ptr<Report>> reports;
};

// Appends the body's JSON text: exactly one key, "reports", always written, holding each report's text.
// Throws JsonText::EncodingError when a report cannot be written.
void appendJsonText(std::string& out, const Reports& body);
// The tree of that text.
void to_json(nlohmann::ordered_json& json, const Reports& body);

}  // namespace zqb

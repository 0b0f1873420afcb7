#include "model/Reports.hpp"

namespace zqb {

void to_json(nlohmann::ordered_json& json, const Reports& body) {
    auto reports = nlohmann::ordered_json::array();
    for (const auto& report : body.reports) {
        if (report) {
            reports.push_back(*report);
        }
    }
    json = nlohmann::ordered_json::object();
    json["reports"] = std::move(reports);
}

}  // namespace zqb

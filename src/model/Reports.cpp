#include "model/Reports.hpp"

namespace zqb {

void appendJsonText(std::string& out, const Reports& body) {
    out += R"({"reports":[)";
    bool first = true;
    for (const auto& report : body.reports) {
        if (report) {
            if (!first) {
                out += ',';
            }
            first = false;
            report->appendText(out);
        }
    }
    out += "]}";
}

void to_json(nlohmann::ordered_json& json, const Reports& body) {
    std::string text;
    appendJsonText(text, body);
    json = nlohmann::ordered_json::parse(text);
}

}  // namespace zqb

#pragma once

#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

namespace zqb {

// The restored transactions of one product. Its key is "productID", with a capital D.
struct RestoredTransaction {
    std::string productID;
    std::vector<std::string> transactionIds;

    bool operator==(const RestoredTransaction&) const = default;

    // One element per entry of the restored history (product identifier -> transaction identifiers).
    static std::vector<RestoredTransaction> fromHistory(
        const std::map<std::string, std::vector<std::string>>& history);
};

void to_json(nlohmann::ordered_json& json, const RestoredTransaction& transaction);
// Both keys are required with their types.
void from_json(const nlohmann::ordered_json& json, RestoredTransaction& transaction);

}  // namespace zqb

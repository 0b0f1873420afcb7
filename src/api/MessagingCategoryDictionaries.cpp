#include "api/MessagingCategoryDictionaries.hpp"

#include "model/JsonText.hpp"

namespace zqb {

std::vector<nlohmann::json> messagingCategoryDictionaries(const std::vector<MessagingCategory>& categories) {
    std::vector<nlohmann::json> dictionaries;
    dictionaries.reserve(categories.size());
    for (const auto& category : categories) {
        auto dictionary = nlohmann::json::object();
        if (const auto text = toJSONData(category)) {
            auto parsed = nlohmann::json::parse(*text, nullptr, false);
            if (parsed.is_object()) {
                dictionary = std::move(parsed);
            }
        }
        dictionaries.push_back(std::move(dictionary));
    }
    return dictionaries;
}

}  // namespace zqb

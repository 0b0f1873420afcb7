#include "backend/MessagingConfig.hpp"

#include "backend/WireReader.hpp"

namespace zqb {

MessagingConfig MessagingConfig::fromAnswer(const nlohmann::ordered_json& json) {
    const WireReader answer(json);
    const WireReader reader = answer.object("pushCategories");
    MessagingConfig config;
    config.version = reader.requiredInt64("version");
    const auto& list = reader.array("categories", reader.required("categories"));
    config.categories.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        config.categories.push_back(MessagingCategory::fromJson(list[i], reader.pathTo("categories", i)));
    }
    if (const auto* removed = reader.optional("removed")) {
        const auto& list = reader.array("removed", *removed);
        std::vector<std::string> ids;
        ids.reserve(list.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            ids.push_back(WireReader::stringAt(list[i], reader.pathTo("removed", i)));
        }
        config.removed = std::move(ids);
    }
    return config;
}

}  // namespace zqb

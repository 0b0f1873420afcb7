#include "backend/MessagingCategory.hpp"

#include "backend/WireReader.hpp"

namespace zqb {

MassagingButtonInfo MassagingButtonInfo::fromJson(const nlohmann::ordered_json& json,
                                                  std::vector<std::string> path) {
    const WireReader reader(json, std::move(path));
    return MassagingButtonInfo{reader.requiredString("id"), reader.requiredString("text"),
                               reader.optionalString("activationMode")};
}

std::vector<MassagingButtonInfo> MessagingCategory::buttonsFromJson(const nlohmann::ordered_json& json,
                                                                    std::vector<std::string> path) {
    if (!json.is_array()) {
        WireReader::typeMismatch("Array", path, json);
    }
    std::vector<MassagingButtonInfo> buttons;
    buttons.reserve(json.size());
    for (std::size_t i = 0; i < json.size(); ++i) {
        std::vector<std::string> at = path;
        at.push_back("Index " + std::to_string(i));
        buttons.push_back(MassagingButtonInfo::fromJson(json[i], std::move(at)));
    }
    return buttons;
}

MessagingCategory MessagingCategory::fromJson(const nlohmann::ordered_json& json,
                                              std::vector<std::string> path) {
    const WireReader reader(json, std::move(path));
    MessagingCategory category;
    category.id = reader.requiredString("id");
    category.buttons = buttonsFromJson(reader.required("buttons"), reader.pathTo("buttons"));
    return category;
}

void to_json(nlohmann::ordered_json& json, const MassagingButtonInfo& button) {
    json = nlohmann::ordered_json::object();
    json["id"] = button.id;
    json["text"] = button.text;
    if (button.activationMode) {
        json["activationMode"] = *button.activationMode;
    }
}

void to_json(nlohmann::ordered_json& json, const MessagingCategory& category) {
    json = nlohmann::ordered_json::object();
    json["id"] = category.id;
    json["buttons"] = category.buttons;
}

}  // namespace zqb

#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// One action button of a push category.
struct MassagingButtonInfo {
    std::string id{};
    std::string text{};
    std::optional<std::string> activationMode{};

    bool operator==(const MassagingButtonInfo&) const = default;

    // "id" and "text" required strings; "activationMode" missing or null reads as none. Throws
    // WireDecodingError; `path` is where the object sits in the whole answer.
    static MassagingButtonInfo fromJson(const nlohmann::ordered_json& json,
                                        std::vector<std::string> path = {});
};

// One push category: its identifier and buttons. `idKey` is the row id in "messagingCategory" (-1 until
// stored, and for a category read from the gateway); it is not part of the JSON form.
struct MessagingCategory {
    int64_t idKey = -1;
    std::string id{};
    std::vector<MassagingButtonInfo> buttons{};

    bool operator==(const MessagingCategory&) const = default;

    // "id" and "buttons" required. Throws WireDecodingError.
    static MessagingCategory fromJson(const nlohmann::ordered_json& json, std::vector<std::string> path = {});
    // A stored button list (the "buttons" column). Throws WireDecodingError.
    static std::vector<MassagingButtonInfo> buttonsFromJson(const nlohmann::ordered_json& json,
                                                            std::vector<std::string> path = {});
};

// {"id", "text", then "activationMode" only when present}
void to_json(nlohmann::ordered_json& json, const MassagingButtonInfo& button);
// {"id", "buttons"}
void to_json(nlohmann::ordered_json& json, const MessagingCategory& category);

}  // namespace zqb

#pragma once

#include "backend/MessagingCategory.hpp"

#include <nlohmann/json.hpp>

#include <vector>

namespace zqb {

// The categories as the messaging module receives them: each one's own JSON object ("id", "buttons"), read
// back as a dictionary; a category that cannot be encoded gives an empty object in its place, so that the
// list keeps one entry per category.
std::vector<nlohmann::json> messagingCategoryDictionaries(const std::vector<MessagingCategory>& categories);

}  // namespace zqb

#include "validation/ArgumentText.hpp"

#include "foundation/TextUtils.hpp"
#include "validation/Bounder.hpp"
#include "validation/Validator.hpp"

#include <optional>

namespace zqb::argument {

std::string cleanedAndCut(std::string_view method, std::string_view argument, std::string_view value,
                          int64_t limit) {
    return *Bounder::maxStringLength(method, argument, text::removeControlCharacters(value), limit);
}

bool required(std::string_view method, std::string_view argument, const std::string& value) {
    // Checked here first so that a text that passes, as nearly all do, is not copied into an optional.
    return !value.empty() || Validator::notNullOrEmpty(method, argument, std::optional<std::string>(value));
}

}  // namespace zqb::argument

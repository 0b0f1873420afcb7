#include "validation/Bounder.hpp"

#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"

namespace zqb {

namespace {

// The most of an over-long value a WARNING repeats: a multi-megabyte argument must not become a
// multi-megabyte log line.
constexpr std::size_t kEchoedCharacters = 1000;

std::string echoed(const std::string& value) {
    if (value.size() <= kEchoedCharacters) {
        return value;
    }
    std::string shown = text::characterPrefix(value, kEchoedCharacters);
    if (shown.size() < value.size()) {
        shown += "...";
    }
    return shown;
}

}  // namespace

std::optional<std::string> Bounder::maxStringLength(std::string_view method, std::string_view argument,
                                                    const std::optional<std::string>& value,
                                                    int64_t maxLength) {
    if (!value) {
        return std::nullopt;
    }
    const std::size_t limit = maxLength < 0 ? 0 : static_cast<std::size_t>(maxLength);
    // Bytes bound characters from above: a text no longer in bytes than the limit needs no counting.
    if (value->size() <= limit || text::characterCount(*value) <= limit) {
        return value;
    }
    std::string message = "In the ";
    message += method;
    message += " method an error has occurred:\n\t";
    message += argument;
    message += ": ";
    message += echoed(*value);
    message += " is longer than it is permitted.\n\tThe string was truncated to '";
    message += std::to_string(maxLength);
    message += "'!";
    Logger::writeLog(ZQBLogLevel::warning, message);
    return text::characterPrefix(*value, limit);
}

}  // namespace zqb

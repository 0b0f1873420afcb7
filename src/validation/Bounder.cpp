#include "validation/Bounder.hpp"

#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"

namespace zqb {

namespace {

constexpr std::size_t kEchoedCharacters = 1000;

}  // namespace

std::string Bounder::echo(std::string_view text) {
    std::string shown;
    appendEcho(shown, text);
    return shown;
}

void Bounder::appendEcho(std::string& out, std::string_view text) {
    // Bytes bound characters from above: a text no longer in bytes than the limit is repeated whole.
    if (text.size() <= kEchoedCharacters) {
        out += text;
        return;
    }
    const std::string shown = text::characterPrefix(text, kEchoedCharacters);
    out += shown;
    if (shown.size() < text.size()) {
        out += "...";
    }
}

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
    message += echo(*value);
    message += " is longer than it is permitted.\n\tThe string was truncated to '";
    message += std::to_string(maxLength);
    message += "'!";
    Logger::writeLog(ZQBLogLevel::warning, message);
    return text::characterPrefix(*value, limit);
}

}  // namespace zqb

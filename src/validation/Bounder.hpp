#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zqb {

// Length bound of string arguments: a long string is shortened, never refused.
class Bounder {
public:
    Bounder() = delete;

    // Absent in, absent out. A text of more than `maxLength` characters (grapheme clusters) logs a WARNING
    // that shows it whole, or its first 1,000 characters followed by "..." when it is longer than that, and
    // comes back cut to its first `maxLength` characters; a shorter one comes back unchanged. A negative
    // limit counts as 0.
    static std::optional<std::string> maxStringLength(std::string_view method, std::string_view argument,
                                                      const std::optional<std::string>& value,
                                                      int64_t maxLength);

    // How much of an argument a log line repeats: the whole text, or its first 1,000 characters followed by
    // "..." when it is longer, so that a multi-megabyte argument never becomes a multi-megabyte log line.
    static std::string echo(std::string_view text);
    // `echo(text)` appended to `out`, without a copy of a text short enough to be repeated whole.
    static void appendEcho(std::string& out, std::string_view text);
};

}  // namespace zqb

#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zqb {

// The engine plug-in's file as the JSON text that the migration record is read from.
//
// The plug-in wrote the file in any of the encodings a JSON reader accepts: UTF-8, UTF-16 or UTF-32, big- or
// little-endian, with or without a byte-order mark. The encoding is taken from the mark when there is one,
// else from the zero bytes among the first four (JSON text starts with two ASCII characters), and the text
// is converted to UTF-8.
//
// A number too large for a double stops the JSON parser, which would lose the whole record; the record
// reads such a value as one of no type it takes, so here it becomes an empty array, which every field rule
// treats alike.
class PluginFileText {
public:
    PluginFileText() = delete;

    // The UTF-8 text of `bytes`, without a byte-order mark. Nothing for UTF-16 or UTF-32 that is not valid
    // (a unit that is no character, a lone surrogate, a cut-off last character); UTF-8 comes back as it
    // is, for the JSON parser refuses what is not valid.
    static std::optional<std::string> decode(std::string_view bytes);

    // `text` with every JSON number outside strings whose value exceeds a double's range replaced by "[]";
    // all else is left as it is, so text that is not JSON stays so.
    static std::string withLargeNumbersReplaced(std::string_view text);
};

}  // namespace zqb

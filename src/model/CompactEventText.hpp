#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zqb {

// The form in which an unsent event's JSON text is kept in memory. Every text the library writes repeats the
// same keys in the same order ({"code":"..","timestamp":..,"sessionId":..,"level":.. and so on), and the
// cache holds the texts of every unsent event: each of a fixed set of such byte sequences is replaced by one
// byte from 0x01 to 0x1F, a byte that compact JSON never holds raw, and a run of thirteen digits (the time
// stamps and session ids) by one such byte and the number's six bytes. A text that holds a byte below 0x20
// has no compact form and is kept as it is. Expanding a compact form gives back the very bytes of the text.
class CompactEventText {
public:
    CompactEventText() = delete;

    static constexpr std::size_t kNotCompact = std::string_view::npos;

    // Writes the compact form of `text` to `out`, which has room for `text.size()` bytes, and answers its
    // size (never more than the text's); answers `kNotCompact` when the text holds a byte below 0x20, with
    // `out` left in no particular state.
    static std::size_t compactInto(std::string_view text, char* out);
    static std::size_t compactSize(std::string_view text);
    static std::optional<std::string> compact(std::string_view text);

    // Appends to `out` the text that `compact` is the compact form of.
    static void appendExpanded(std::string& out, std::string_view compact);
    static std::string expand(std::string_view compact);
};

}  // namespace zqb

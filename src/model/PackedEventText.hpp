#pragma once

#include <string>
#include <string_view>

namespace zqb {

// An event text as a package carries it: the stored object read into a dynamic value and written again.
// Reports are packed on the income queue while events keep arriving, and nearly every stored text is
// already in the written form, so this copies the text and rewrites only what reading would change (numbers
// with a fraction or an exponent) instead of building two trees per event.
class PackedEventText {
public:
    PackedEventText() = delete;

    // Appends to `out` the bytes that reading `stored` as a dynamic value and writing it compact give, and
    // answers true; answers false with `out` unchanged when the text is anything the copy cannot vouch for
    // (not a compact JSON object, escapes the writer would not use, repeated keys, deep nesting, a number
    // that does not write), so that the caller takes the reading path for that event.
    static bool append(std::string& out, std::string_view stored);
};

}  // namespace zqb

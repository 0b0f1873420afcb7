#pragma once

#include <string>
#include <string_view>

// Dictionary keys compare by canonical equivalence: "é" written precomposed or as "e" + U+0301 is one key,
// and the key keeps the text it was given.
namespace zqb {

bool sameKey(std::string_view a, std::string_view b);

// Orders keys by their canonical (NFC) form, so that a std::map holds canonically equal keys once.
struct CanonicalLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

}  // namespace zqb

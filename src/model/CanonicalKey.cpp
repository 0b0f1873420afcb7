#include "model/CanonicalKey.hpp"

#include "foundation/TextUtils.hpp"

namespace zqb {
namespace {

using text::isAscii;

// ASCII text is its own canonical form; only other text needs the (allocating) normalisation.
std::string canonical(std::string_view text) {
    return isAscii(text) ? std::string(text) : text::nfc(text);
}

}  // namespace

bool sameKey(std::string_view a, std::string_view b) {
    if (a == b) {
        return true;
    }
    if (isAscii(a) && isAscii(b)) {
        return false;
    }
    return canonical(a) == canonical(b);
}

bool CanonicalLess::operator()(std::string_view a, std::string_view b) const {
    if (isAscii(a) && isAscii(b)) {
        return a < b;
    }
    return canonical(a) < canonical(b);
}

}  // namespace zqb

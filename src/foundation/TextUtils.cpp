#include "foundation/TextUtils.hpp"

#include <utf8proc.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>

namespace zqb::text {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Decodes the code point at the start of `text`. On success returns its length in bytes; on an ill-formed
// sequence returns minus the length of its maximal subpart (the lead byte and the continuation bytes that
// could still have belonged to it), which is replaced by one U+FFFD, as the Unicode standard recommends.
int decodeOne(std::string_view text, utf8proc_int32_t* codepoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        *codepoint = lead;
        return 1;
    }
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return -1;
    }
    utf8proc_int32_t value = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if (static_cast<std::size_t>(i) >= text.size()) {
            return -i;
        }
        const unsigned char next = byte(static_cast<std::size_t>(i));
        if (next < low || next > high) {
            return -i;
        }
        low = 0x80;
        high = 0xBF;
        value = (value << 6) | (next & 0x3F);
    }
    *codepoint = value;
    return length;
}

// Calls `visit(codepoint, bytes)` for each code point; each ill-formed sequence yields one U+FFFD.
template <typename Visit>
void forEachCodePoint(std::string_view text, Visit&& visit) {
    std::size_t offset = 0;
    while (offset < text.size()) {
        utf8proc_int32_t codepoint = 0;
        const int length = decodeOne(text.substr(offset), &codepoint);
        if (length < 0) {
            visit(0xFFFD, kReplacement);
            offset += static_cast<std::size_t>(-length);
            continue;
        }
        visit(codepoint, text.substr(offset, static_cast<std::size_t>(length)));
        offset += static_cast<std::size_t>(length);
    }
}

bool isControl(utf8proc_int32_t codepoint) {
    const utf8proc_category_t category = utf8proc_category(codepoint);
    return category == UTF8PROC_CATEGORY_CC || category == UTF8PROC_CATEGORY_CF;
}

// The control characters of ASCII are its C0 range and DEL; ASCII has no format character (Cf begins at
// U+00AD). Most texts are ASCII only, and these tests spare them a category lookup per character.
bool isAsciiByte(unsigned char byte) {
    return byte < 0x80;
}
bool isAsciiControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

// The end of the run of bytes from `offset` on that are ASCII but no control character.
std::size_t plainAsciiRun(std::string_view text, std::size_t offset) {
    while (offset < text.size()) {
        const auto byte = static_cast<unsigned char>(text[offset]);
        if (!isAsciiByte(byte) || isAsciiControl(byte)) {
            break;
        }
        ++offset;
    }
    return offset;
}

// Byte offsets where each of the first `limit` grapheme clusters ends.
std::size_t clusterBoundary(std::string_view text, std::size_t limit, std::size_t* clusters) {
    std::size_t count = 0;
    std::size_t end = 0;
    utf8proc_int32_t previous = -1;
    utf8proc_int32_t state = 0;
    std::size_t offset = 0;
    while (offset < text.size()) {
        const auto lead = static_cast<unsigned char>(text[offset]);
        if (isAsciiByte(lead) && previous >= 0 && previous < 0x80) {
            // Two ASCII characters are two clusters, CR LF alone excepted: neither extends, joins or
            // prepends. After a break, and after the LF of a CR LF which always breaks next, the
            // segmentation carries nothing over, so its state starts afresh.
            if (previous != '\r' || lead != '\n') {
                if (count == limit) {
                    break;
                }
                ++count;
            }
            state = 0;
            previous = lead;
            end = ++offset;
            continue;
        }
        utf8proc_int32_t codepoint = 0;
        int length = decodeOne(text.substr(offset), &codepoint);
        if (length < 0) {
            codepoint = 0xFFFD;
            length = -length;
        }
        const bool breaks = previous < 0 || utf8proc_grapheme_break_stateful(previous, codepoint, &state);
        if (breaks) {
            if (count == limit) {
                break;
            }
            ++count;
        }
        previous = codepoint;
        offset += static_cast<std::size_t>(length);
        end = offset;
    }
    if (clusters != nullptr) {
        *clusters = count;
    }
    return end;
}

std::string trimmedChars(const char* begin, const char* end) {
    return std::string(begin, end);
}

// Shared by the double and float forms; `threshold` is where the exponent form begins.
template <typename T>
std::string numberDescription(T value, T threshold) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    std::array<char, 64> buffer{};
    const T magnitude = std::fabs(value);
    const bool exponential = magnitude != 0 && (magnitude < static_cast<T>(1e-4) || magnitude > threshold);
    if (exponential) {
        auto result =
            std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::scientific);
        return trimmedChars(buffer.data(), result.ptr);
    }
    auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed);
    std::string out = trimmedChars(buffer.data(), result.ptr);
    if (out.find('.') == std::string::npos) {
        out += ".0";
    }
    return out;
}

}  // namespace

bool isAscii(std::string_view text) {
    unsigned char any = 0;
    for (const char byte : text) {
        any |= static_cast<unsigned char>(byte);
    }
    return any < 0x80;
}

bool isValidUtf8(std::string_view text) {
    if (isAscii(text)) {
        return true;
    }
    std::size_t offset = 0;
    while (offset < text.size()) {
        utf8proc_int32_t codepoint = 0;
        const int length = decodeOne(text.substr(offset), &codepoint);
        if (length < 0) {
            return false;
        }
        offset += static_cast<std::size_t>(length);
    }
    return true;
}

std::string repairUtf8(std::string_view text) {
    if (isValidUtf8(text)) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size() + 8);
    forEachCodePoint(text, [&](utf8proc_int32_t, std::string_view bytes) { out.append(bytes); });
    return out;
}

std::string removeControlCharacters(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t offset = 0;
    while (offset < text.size()) {
        const std::size_t plain = plainAsciiRun(text, offset);
        out.append(text, offset, plain - offset);
        offset = plain;
        // Then the ASCII controls, dropped, and the code points beyond ASCII up to the next ASCII byte.
        std::size_t other = offset;
        while (other < text.size() && isAsciiControl(static_cast<unsigned char>(text[other]))) {
            ++other;
        }
        offset = other;
        while (other < text.size() && !isAsciiByte(static_cast<unsigned char>(text[other]))) {
            ++other;
        }
        forEachCodePoint(text.substr(offset, other - offset),
                         [&](utf8proc_int32_t codepoint, std::string_view bytes) {
                             if (!isControl(codepoint)) {
                                 out.append(bytes);
                             }
                         });
        offset = other;
    }
    return out;
}

bool containsControlCharacters(std::string_view text) {
    std::size_t offset = 0;
    while (offset < text.size()) {
        offset = plainAsciiRun(text, offset);
        if (offset == text.size()) {
            return false;
        }
        if (isAsciiControl(static_cast<unsigned char>(text[offset]))) {
            return true;
        }
        std::size_t other = offset;
        while (other < text.size() && !isAsciiByte(static_cast<unsigned char>(text[other]))) {
            ++other;
        }
        bool found = false;
        forEachCodePoint(
            text.substr(offset, other - offset),
            [&](utf8proc_int32_t codepoint, std::string_view) { found = found || isControl(codepoint); });
        if (found) {
            return true;
        }
        offset = other;
    }
    return false;
}

char32_t firstCodePoint(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    utf8proc_int32_t codepoint = 0;
    return decodeOne(text, &codepoint) < 0 ? 0xFFFD : static_cast<char32_t>(codepoint);
}

std::size_t characterCount(std::string_view text) {
    std::size_t clusters = 0;
    clusterBoundary(text, SIZE_MAX, &clusters);
    return clusters;
}

std::string characterPrefix(std::string_view text, std::size_t count) {
    return repairUtf8(text.substr(0, clusterBoundary(text, count, nullptr)));
}

std::string nfc(std::string_view text) {
    if (isAscii(text)) {
        return std::string(text);
    }
    const std::string valid = repairUtf8(text);
    // Mapped with an explicit length: a U+0000 inside the text is a character like any other, not its end.
    utf8proc_uint8_t* composed = nullptr;
    const utf8proc_ssize_t length = utf8proc_map(
        reinterpret_cast<const utf8proc_uint8_t*>(valid.data()), static_cast<utf8proc_ssize_t>(valid.size()),
        &composed, static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
    if (length < 0 || composed == nullptr) {
        std::free(composed);
        return valid;
    }
    std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owner(composed, &std::free);
    return std::string(reinterpret_cast<const char*>(composed), static_cast<std::size_t>(length));
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
    return a == b || nfc(a) == nfc(b);
}

std::string doubleDescription(double value) {
    return numberDescription<double>(value, 9007199254740992.0);
}

std::string floatDescription(float value) {
    return numberDescription<float>(value, 16777216.0f);
}

std::string uuidString() {
    // Straight from the system's entropy source: a generator seeded once with 32 bits would give only 2^32
    // distinct sequences across all installations (colliding device ids), and a forked process would
    // repeat its parent's identifiers.
    thread_local std::random_device source;
    std::array<unsigned char, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const auto word = static_cast<std::uint32_t>(source());
        for (std::size_t j = 0; j < 4; ++j) {
            bytes[i + j] = static_cast<unsigned char>(word >> (8 * j));
        }
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            out.push_back('-');
        }
        out.push_back(kHex[bytes[i] >> 4]);
        out.push_back(kHex[bytes[i] & 0x0F]);
    }
    return out;
}

std::string base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const std::uint32_t triple = (static_cast<unsigned char>(bytes[i]) << 16) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                                     static_cast<unsigned char>(bytes[i + 2]);
        out.push_back(kAlphabet[(triple >> 18) & 0x3F]);
        out.push_back(kAlphabet[(triple >> 12) & 0x3F]);
        out.push_back(kAlphabet[(triple >> 6) & 0x3F]);
        out.push_back(kAlphabet[triple & 0x3F]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        std::uint32_t triple = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) {
            triple |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        out.push_back(kAlphabet[(triple >> 18) & 0x3F]);
        out.push_back(kAlphabet[(triple >> 12) & 0x3F]);
        out.push_back(rest == 2 ? kAlphabet[(triple >> 6) & 0x3F] : '=');
        out.push_back('=');
    }
    return out;
}

bool allBytes(std::string_view text, int (*test)(int)) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [&](char c) { return test(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace zqb::text

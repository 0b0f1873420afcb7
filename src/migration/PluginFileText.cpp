#include "migration/PluginFileText.hpp"

#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <cstdint>

namespace zqb {
namespace {

enum class Encoding { utf8, utf16BigEndian, utf16LittleEndian, utf32BigEndian, utf32LittleEndian };

struct Detected {
    Encoding encoding;
    std::size_t markLength;
};

Detected detect(std::string_view bytes) {
    const auto at = [bytes](std::size_t index) { return static_cast<unsigned char>(bytes[index]); };
    const auto starts = [bytes](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    using namespace std::string_view_literals;
    // The UTF-32 marks first: the little-endian one begins with the UTF-16 one.
    if (starts("\x00\x00\xFE\xFF"sv)) {
        return {Encoding::utf32BigEndian, 4};
    }
    if (starts("\xFF\xFE\x00\x00"sv)) {
        return {Encoding::utf32LittleEndian, 4};
    }
    if (starts("\xEF\xBB\xBF"sv)) {
        return {Encoding::utf8, 3};
    }
    if (starts("\xFE\xFF"sv)) {
        return {Encoding::utf16BigEndian, 2};
    }
    if (starts("\xFF\xFE"sv)) {
        return {Encoding::utf16LittleEndian, 2};
    }
    if (bytes.size() >= 4) {
        const bool zero[4] = {at(0) == 0, at(1) == 0, at(2) == 0, at(3) == 0};
        if (zero[0] && zero[1] && zero[2] && !zero[3]) {
            return {Encoding::utf32BigEndian, 0};
        }
        if (!zero[0] && zero[1] && zero[2] && zero[3]) {
            return {Encoding::utf32LittleEndian, 0};
        }
        if (zero[0] && !zero[1] && zero[2] && !zero[3]) {
            return {Encoding::utf16BigEndian, 0};
        }
        if (!zero[0] && zero[1] && !zero[2] && zero[3]) {
            return {Encoding::utf16LittleEndian, 0};
        }
    }
    return {Encoding::utf8, 0};
}

void appendUtf8(std::string& text, uint32_t codePoint) {
    if (codePoint < 0x80) {
        text += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        text += static_cast<char>(0xC0 | (codePoint >> 6));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        text += static_cast<char>(0xE0 | (codePoint >> 12));
        text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (codePoint >> 18));
        text += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// The code unit of `size` bytes at `position`.
uint32_t unit(std::string_view bytes, std::size_t position, std::size_t size, bool bigEndian) {
    uint32_t value = 0;
    for (std::size_t index = 0; index < size; ++index) {
        const auto byte =
            static_cast<unsigned char>(bytes[position + (bigEndian ? index : size - 1 - index)]);
        value = (value << 8) | byte;
    }
    return value;
}

bool isSurrogate(uint32_t value) {
    return value >= 0xD800 && value <= 0xDFFF;
}

std::optional<std::string> fromUtf16(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string text;
    text.reserve(bytes.size() / 2 * 3);
    for (std::size_t position = 0; position < bytes.size(); position += 2) {
        uint32_t codePoint = unit(bytes, position, 2, bigEndian);
        if (isSurrogate(codePoint)) {
            if (codePoint >= 0xDC00 || position + 4 > bytes.size()) {
                return std::nullopt;
            }
            const uint32_t low = unit(bytes, position + 2, 2, bigEndian);
            if (low < 0xDC00 || low > 0xDFFF) {
                return std::nullopt;
            }
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (low - 0xDC00);
            position += 2;
        }
        appendUtf8(text, codePoint);
    }
    return text;
}

std::optional<std::string> fromUtf32(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t position = 0; position < bytes.size(); position += 4) {
        const uint32_t codePoint = unit(bytes, position, 4, bigEndian);
        if (codePoint > 0x10FFFF || isSurrogate(codePoint)) {
            return std::nullopt;
        }
        appendUtf8(text, codePoint);
    }
    return text;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Whether `token` is a JSON number (-?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?).
bool isJsonNumber(std::string_view token) {
    std::size_t index = 0;
    const auto digits = [&] {
        const std::size_t start = index;
        while (index < token.size() && isDigit(token[index])) {
            ++index;
        }
        return index - start;
    };
    if (index < token.size() && token[index] == '-') {
        ++index;
    }
    if (index < token.size() && token[index] == '0') {
        ++index;
    } else if (digits() == 0) {
        return false;
    }
    if (index < token.size() && token[index] == '.') {
        ++index;
        if (digits() == 0) {
            return false;
        }
    }
    if (index < token.size() && (token[index] == 'e' || token[index] == 'E')) {
        ++index;
        if (index < token.size() && (token[index] == '+' || token[index] == '-')) {
            ++index;
        }
        if (digits() == 0) {
            return false;
        }
    }
    return index == token.size();
}

// Whether the number's nearest double is infinite, as the JSON parser finds it.
bool exceedsDouble(std::string_view token) {
    // Without an exponent only a number of more digits than a double's largest value has can exceed it.
    if (token.find_first_of("eE") == std::string_view::npos && token.size() < 309) {
        return false;
    }
    if (!isJsonNumber(token)) {
        return false;
    }
    static const locale_t plain = newlocale(LC_ALL_MASK, "C", nullptr);
    const std::string terminated(token);
    return plain != nullptr && std::isinf(strtod_l(terminated.c_str(), nullptr, plain));
}

bool isNumberCharacter(char c) {
    return isDigit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

}  // namespace

std::optional<std::string> PluginFileText::decode(std::string_view bytes) {
    const Detected detected = detect(bytes);
    const std::string_view text = bytes.substr(detected.markLength);
    switch (detected.encoding) {
        case Encoding::utf8:
            return std::string(text);
        case Encoding::utf16BigEndian:
        case Encoding::utf16LittleEndian:
            return fromUtf16(text, detected.encoding == Encoding::utf16BigEndian);
        case Encoding::utf32BigEndian:
        case Encoding::utf32LittleEndian:
            return fromUtf32(text, detected.encoding == Encoding::utf32BigEndian);
    }
    return std::nullopt;
}

std::string PluginFileText::withLargeNumbersReplaced(std::string_view text) {
    std::string result;
    std::size_t copied = 0;  // the bytes of `text` before this are in `result`
    std::size_t index = 0;
    while (index < text.size()) {
        const char c = text[index];
        if (c == '"') {
            for (++index; index < text.size() && text[index] != '"'; ++index) {
                if (text[index] == '\\') {
                    ++index;
                }
            }
            ++index;
        } else if (c == '-' || isDigit(c)) {
            const std::size_t start = index;
            while (index < text.size() && isNumberCharacter(text[index])) {
                ++index;
            }
            if (exceedsDouble(text.substr(start, index - start))) {
                result.append(text, copied, start - copied);
                result += "[]";
                copied = index;
            }
        } else {
            ++index;
        }
    }
    if (copied == 0) {
        return std::string(text);
    }
    result.append(text, copied);
    return result;
}

}  // namespace zqb

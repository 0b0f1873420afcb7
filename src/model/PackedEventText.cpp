#include "model/PackedEventText.hpp"

#include "foundation/TextUtils.hpp"
#include "model/AnyCodable.hpp"
#include "model/CanonicalKey.hpp"
#include "model/JsonText.hpp"

#include <algorithm>
#include <array>
#include <exception>
#include <vector>

namespace zqb {
namespace {

// Far below the readers' own bound: deeper texts take the reading path, which knows where to stop.
constexpr int kMaxDepth = 64;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The bytes of a string that need no look: neither the quote, the backslash, a control nor beyond ASCII.
constexpr std::array<bool, 256> kPlainStringBytes = [] {
    std::array<bool, 256> plain{};
    for (int byte = 0x20; byte < 0x80; ++byte) {
        plain[static_cast<std::size_t>(byte)] = byte != '"' && byte != '\\';
    }
    return plain;
}();

// A recursive copier over the JSON grammar that gives up (answers false) wherever reading and writing
// again could give other bytes than the input's. Without an output it only tells whether they give the
// input itself: it then gives up at any number that the copy would pass through the reading path.
class Copier {
public:
    Copier(std::string* out, std::string_view text) : out_(out), text_(text) {}

    bool run() {
        if (text_.empty() || text_[0] != '{' || !object(0) || position_ != text_.size()) {
            return false;
        }
        return !beyondAscii_ || text::isValidUtf8(text_);
    }

private:
    bool value(int depth) {
        if (position_ >= text_.size()) {
            return false;
        }
        switch (text_[position_]) {
            case '{':
                return object(depth + 1);
            case '[':
                return array(depth + 1);
            case '"':
                return string(nullptr);
            case 't':
                return literal("true");
            case 'f':
                return literal("false");
            case 'n':
                return literal("null");
            default:
                return number();
        }
    }

    bool object(int depth) {
        if (depth > kMaxDepth) {
            return false;
        }
        ++position_;  // '{'
        put('{');
        const std::size_t firstKey = keys_.size();
        bool asciiKeys = true;
        bool escapedKeys = false;
        if (peek() == '}') {
            ++position_;
            put('}');
            return true;
        }
        while (true) {
            bool ascii = true;
            const std::size_t keyStart = position_ + 1;
            if (peek() != '"' || !string(&ascii)) {
                return false;
            }
            keys_.push_back(text_.substr(keyStart, position_ - 1 - keyStart));
            asciiKeys = asciiKeys && ascii;
            escapedKeys = escapedKeys || keys_.back().find('\\') != std::string_view::npos;
            if (peek() != ':') {
                return false;
            }
            ++position_;
            put(':');
            if (!value(depth)) {
                return false;
            }
            const auto next = afterMember('}');
            if (next == Next::failed) {
                return false;
            }
            if (next == Next::closed) {
                break;
            }
        }
        const bool repeated = repeatedKey(firstKey, asciiKeys, escapedKeys);
        keys_.resize(firstKey);
        return !repeated;
    }

    // The reader keeps one member per key, and takes canonically equivalent keys for one: a repeated key
    // changes the object. A key's text is the key itself unless it holds an escape; escapes are only
    // trusted next to ASCII keys, where equal keys are equal bytes. An event's objects have a handful of
    // keys each, for which comparing every pair costs less than sorting them.
    bool repeatedKey(std::size_t firstKey, bool asciiKeys, bool escapedKeys) {
        const auto begin = keys_.begin() + static_cast<std::ptrdiff_t>(firstKey);
        if (asciiKeys && keys_.end() - begin > 16) {
            std::sort(begin, keys_.end());
            return std::adjacent_find(begin, keys_.end()) != keys_.end();
        }
        if (asciiKeys) {
            for (auto key = begin; key != keys_.end(); ++key) {
                if (std::find(key + 1, keys_.end(), *key) != keys_.end()) {
                    return true;
                }
            }
            return false;
        }
        if (escapedKeys) {
            return true;
        }
        for (auto key = begin; key != keys_.end(); ++key) {
            for (auto other = key + 1; other != keys_.end(); ++other) {
                if (sameKey(*key, *other)) {
                    return true;
                }
            }
        }
        return false;
    }

    bool array(int depth) {
        if (depth > kMaxDepth) {
            return false;
        }
        ++position_;  // '['
        put('[');
        if (peek() == ']') {
            ++position_;
            put(']');
            return true;
        }
        while (true) {
            if (!value(depth)) {
                return false;
            }
            const auto next = afterMember(']');
            if (next != Next::more) {
                return next == Next::closed;
            }
        }
    }

    enum class Next { more, closed, failed };

    // After a member or element: a comma or the container's closing character, copied.
    Next afterMember(char close) {
        const char next = peek();
        ++position_;
        if (next != ',' && next != close) {
            return Next::failed;
        }
        put(next);
        return next == ',' ? Next::more : Next::closed;
    }

    // A string whose escapes are exactly those the writer uses, so it reads back to itself; its bytes are
    // valid UTF-8, checked for the whole text at the end when any goes beyond ASCII.
    bool string(bool* ascii) {
        const std::size_t start = position_;
        ++position_;  // '"'
        while (position_ < text_.size()) {
            const auto byte = static_cast<unsigned char>(text_[position_]);
            if (kPlainStringBytes[byte]) {
                ++position_;
                continue;
            }
            if (byte == '"') {
                ++position_;
                put(text_.substr(start, position_ - start));
                return true;
            }
            if (byte < 0x20) {
                return false;
            }
            if (byte >= 0x80) {
                beyondAscii_ = true;
                if (ascii != nullptr) {
                    *ascii = false;
                }
            } else if (!escape()) {
                return false;
            }
            ++position_;
        }
        return false;
    }

    // At a backslash: leaves the position on the escape's last character.
    bool escape() {
        if (position_ + 1 >= text_.size()) {
            return false;
        }
        const char kind = text_[position_ + 1];
        if (kind == '"' || kind == '\\' || kind == 'b' || kind == 't' || kind == 'n' || kind == 'f' ||
            kind == 'r') {
            ++position_;
            return true;
        }
        // \u00xx with lower-case hex, only for the controls without a short escape.
        if (kind != 'u' || position_ + 5 >= text_.size() || text_.substr(position_ + 2, 2) != "00") {
            return false;
        }
        static constexpr std::string_view hex = "0123456789abcdef";
        const auto high = hex.find(text_[position_ + 4]);
        const auto low = hex.find(text_[position_ + 5]);
        if (high > 1 || low == std::string_view::npos) {
            return false;
        }
        const auto code = high * 16 + low;
        if (code == '\b' || code == '\t' || code == '\n' || code == '\f' || code == '\r') {
            return false;
        }
        position_ += 5;
        return true;
    }

    bool literal(std::string_view word) {
        if (text_.substr(position_, word.size()) != word) {
            return false;
        }
        position_ += word.size();
        put(word);
        return true;
    }

    // A whole number of up to 18 digits reads back as itself; any other number is passed through the
    // reading and writing path on its own, which is what reading the whole text would do to it.
    bool number() {
        const std::size_t start = position_;
        while (position_ < text_.size() &&
               (isDigit(text_[position_]) || text_[position_] == '-' || text_[position_] == '+' ||
                text_[position_] == '.' || text_[position_] == 'e' || text_[position_] == 'E')) {
            ++position_;
        }
        const std::string_view token = text_.substr(start, position_ - start);
        const std::string_view digits = token.substr(!token.empty() && token[0] == '-' ? 1 : 0);
        if (!digits.empty() && digits.size() <= 18 && std::all_of(digits.begin(), digits.end(), isDigit) &&
            (digits[0] != '0' || token == "0")) {
            put(token);
            return true;
        }
        if (token.empty() || out_ == nullptr) {
            return false;
        }
        try {
            *out_ += JsonText::write(AnyCodable::fromJson(JsonText::parse(token)).toJson());
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }

    char peek() const { return position_ < text_.size() ? text_[position_] : '\0'; }

    void put(char c) {
        if (out_ != nullptr) {
            *out_ += c;
        }
    }
    void put(std::string_view bytes) {
        if (out_ != nullptr) {
            out_->append(bytes);
        }
    }

    std::string* out_;
    std::string_view text_;
    std::size_t position_ = 0;
    bool beyondAscii_ = false;
    std::vector<std::string_view> keys_;  // the keys of the open objects, innermost last
};

}  // namespace

bool PackedEventText::append(std::string& out, std::string_view stored) {
    // Nearly every stored text reads back to itself: it is checked without a copy, then appended at once.
    if (Copier(nullptr, stored).run()) {
        out.append(stored);
        return true;
    }
    const std::size_t size = out.size();
    if (!Copier(&out, stored).run()) {
        out.resize(size);
        return false;
    }
    return true;
}

}  // namespace zqb

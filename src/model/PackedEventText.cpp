#include "model/PackedEventText.hpp"

#include "foundation/TextUtils.hpp"
#include "model/AnyCodable.hpp"
#include "model/CanonicalKey.hpp"
#include "model/JsonText.hpp"

#include <algorithm>
#include <exception>
#include <vector>

namespace zqb {
namespace {

// Far below the readers' own bound: deeper texts take the reading path, which knows where to stop.
constexpr int kMaxDepth = 64;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A recursive copier over the JSON grammar that gives up (answers false) wherever reading and writing
// again could give other bytes than the input's.
class Copier {
public:
    Copier(std::string& out, std::string_view text) : out_(out), text_(text) {}

    bool run() {
        if (text_.empty() || text_[0] != '{' || !object(0)) {
            return false;
        }
        return position_ == text_.size();
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
        out_ += '{';
        const std::size_t firstKey = keys_.size();
        bool asciiKeys = true;
        bool escapedKeys = false;
        if (peek() == '}') {
            ++position_;
            out_ += '}';
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
            out_ += ':';
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
    // trusted next to ASCII keys, where equal keys are equal bytes.
    bool repeatedKey(std::size_t firstKey, bool asciiKeys, bool escapedKeys) {
        const auto begin = keys_.begin() + static_cast<std::ptrdiff_t>(firstKey);
        if (asciiKeys) {
            std::sort(begin, keys_.end());
            return std::adjacent_find(begin, keys_.end()) != keys_.end();
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
        out_ += '[';
        if (peek() == ']') {
            ++position_;
            out_ += ']';
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
        out_ += next;
        return next == ',' ? Next::more : Next::closed;
    }

    // A string whose escapes are exactly those the writer uses, so it reads back to itself; its bytes are
    // valid UTF-8, checked for the whole text up front.
    bool string(bool* ascii) {
        const std::size_t start = position_;
        ++position_;  // '"'
        while (position_ < text_.size()) {
            const auto byte = static_cast<unsigned char>(text_[position_]);
            if (byte == '"') {
                ++position_;
                out_.append(text_.substr(start, position_ - start));
                return true;
            }
            if (byte < 0x20) {
                return false;
            }
            if (byte >= 0x80 && ascii != nullptr) {
                *ascii = false;
            }
            if (byte == '\\' && !escape()) {
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
        out_.append(word);
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
            out_.append(token);
            return true;
        }
        if (token.empty()) {
            return false;
        }
        try {
            out_ += JsonText::write(AnyCodable::fromJson(JsonText::parse(token)).toJson());
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }

    char peek() const { return position_ < text_.size() ? text_[position_] : '\0'; }

    std::string& out_;
    std::string_view text_;
    std::size_t position_ = 0;
    std::vector<std::string_view> keys_;  // the keys of the open objects, innermost last
};

}  // namespace

bool PackedEventText::append(std::string& out, std::string_view stored) {
    const std::size_t size = out.size();
    if (!text::isValidUtf8(stored) || !Copier(out, stored).run()) {
        out.resize(size);
        return false;
    }
    return true;
}

}  // namespace zqb

#include "model/JsonText.hpp"

#include "foundation/Decimal.hpp"
#include "foundation/TextUtils.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <unordered_map>
#include <vector>

namespace zqb {
namespace {

using Json = nlohmann::ordered_json;

// What a byte of a string asks of the writer: an escape, or a look at the UTF-8 it belongs to.
constexpr unsigned char kEscaped = 1;
constexpr unsigned char kBeyondAscii = 2;

constexpr std::array<unsigned char, 256> stringBytes() {
    std::array<unsigned char, 256> bytes{};
    for (std::size_t byte = 0; byte < 0x20; ++byte) {
        bytes[byte] = kEscaped;
    }
    bytes['"'] = kEscaped;
    bytes['\\'] = kEscaped;
    for (std::size_t byte = 0x80; byte < 0x100; ++byte) {
        bytes[byte] = kBeyondAscii;
    }
    return bytes;
}

constexpr auto kStringBytes = stringBytes();

class Writer {
public:
    explicit Writer(JsonText::Style style) : pretty_(style == JsonText::Style::pretty) {}

    std::string take() { return std::move(out_); }

    void value(const Json& json, int depth) {
        switch (json.type()) {
            case Json::value_t::object:
                object(json, depth);
                return;
            case Json::value_t::array:
                array(json, depth);
                return;
            case Json::value_t::string:
                string(json.get_ref<const std::string&>());
                return;
            case Json::value_t::number_float:
                number(json.get<double>());
                return;
            case Json::value_t::binary:
                decimal(json.get_binary());
                return;
            // Written as nlohmann's `dump()` writes them, without building its serializer for each value.
            case Json::value_t::null:
                out_ += "null";
                return;
            case Json::value_t::boolean:
                out_ += json.get<bool>() ? "true" : "false";
                return;
            case Json::value_t::number_integer:
                out_ += std::to_string(json.get<Json::number_integer_t>());
                return;
            case Json::value_t::number_unsigned:
                out_ += std::to_string(json.get<Json::number_unsigned_t>());
                return;
            case Json::value_t::discarded:
                break;
        }
        fail("a discarded value cannot be encoded");
    }

private:
    void object(const Json& json, int depth) {
        if (json.empty()) {
            out_ += "{}";
            return;
        }
        out_ += '{';
        bool first = true;
        for (const auto& [key, member] : json.items()) {
            if (!first) {
                out_ += ',';
            }
            first = false;
            newline(depth + 1);
            path_.push_back(key);
            string(key);
            out_ += pretty_ ? " : " : ":";
            value(member, depth + 1);
            path_.pop_back();
        }
        newline(depth);
        out_ += '}';
    }

    void array(const Json& json, int depth) {
        if (json.empty()) {
            out_ += "[]";
            return;
        }
        out_ += '[';
        for (std::size_t i = 0; i < json.size(); ++i) {
            if (i > 0) {
                out_ += ',';
            }
            newline(depth + 1);
            path_.push_back("Index " + std::to_string(i));
            value(json[i], depth + 1);
            path_.pop_back();
        }
        newline(depth);
        out_ += ']';
    }

    void string(const std::string& text) {
        if (!JsonText::appendString(out_, text)) {
            fail("a string is not valid UTF-8");
        }
    }

    void number(double number) {
        if (!JsonText::appendNumber(out_, number)) {
            fail("Unable to encode Double." + text::doubleDescription(number) + " directly in JSON");
        }
    }

    void decimal(const Json::binary_t& bytes) {
        if (!bytes.has_subtype() || bytes.subtype() != Decimal::jsonSubtype) {
            fail("binary data cannot be encoded");
        }
        // Re-read so that nothing but a valid JSON number ever lands in the text.
        const auto parsed = Decimal::parse(std::string(bytes.begin(), bytes.end()));
        if (!parsed) {
            fail("a Decimal node does not hold a decimal number");
        }
        out_ += parsed->toString();
    }

    void newline(int depth) {
        if (pretty_) {
            out_ += '\n';
            out_.append(static_cast<std::size_t>(depth) * 2, ' ');
        }
    }

    [[noreturn]] void fail(const std::string& reason) const {
        std::string where;
        for (const auto& component : path_) {
            where += where.empty() ? component : "." + component;
        }
        throw JsonText::EncodingError("invalidValue: " + reason +
                                      (where.empty() ? std::string() : " (coding path: " + where + ")"));
    }

    bool pretty_;
    std::string out_;
    std::vector<std::string> path_;
};

// Builds the tree like nlohmann's own reader, except that numbers with a fraction or an exponent keep their
// text as `Decimal` nodes.
class DecimalKeepingBuilder {
public:
    explicit DecimalKeepingBuilder(JsonText::DeepValues deepValues)
        : readDeepValuesEmpty_(deepValues == JsonText::DeepValues::readEmpty) {}

    Json take() { return std::move(root_); }

    bool null() { return put(Json(nullptr)); }
    bool boolean(bool value) { return put(Json(value)); }
    bool number_integer(Json::number_integer_t value) { return put(Json(value)); }
    bool number_unsigned(Json::number_unsigned_t value) { return put(Json(value)); }
    bool number_float(Json::number_float_t value, const std::string& text) {
        if (skipped_ > 0) {
            return true;
        }
        // The reader hands over the number with the process locale's decimal point in place of the text's
        // "." ("0,99" under a decimal-comma locale); the decimal is read from the text as it stood.
        std::string digits = text;
        for (char& c : digits) {
            if ((c < '0' || c > '9') && c != '-' && c != '+' && c != 'e' && c != 'E') {
                c = '.';
            }
        }
        if (const auto decimal = Decimal::parse(digits)) {
            return put(Json(*decimal));
        }
        // Beyond a decimal's range (more than 38 digits, huge exponents): the nearest double is all there is.
        return put(Json(value));
    }
    bool string(std::string& value) { return put(Json(std::move(value))); }
    bool binary(Json::binary_t& value) { return put(Json(std::move(value))); }
    bool start_object(std::size_t /*elements*/) { return open(Json::object()); }
    bool key(std::string& key) {
        if (skipped_ == 0) {
            key_ = std::move(key);
        }
        return true;
    }
    bool end_object() { return close(); }
    bool start_array(std::size_t /*elements*/) { return open(Json::array()); }
    bool end_array() { return close(); }
    bool parse_error(std::size_t /*position*/, const std::string& /*token*/,
                     const nlohmann::detail::exception& error) {
        if (const auto* parseError = dynamic_cast<const Json::parse_error*>(&error)) {
            throw *parseError;
        }
        throw std::invalid_argument(error.what());
    }

private:
    // From this many members on, an object's keys are found through their hashes: looking each new key up
    // among all the members before it made a text of many keys take time by the square of their number.
    static constexpr std::size_t indexedMembers = 32;

    struct Open {
        Json* container;
        // Member positions by the hash of their key, once the object is indexed.
        std::unordered_multimap<std::size_t, std::size_t> members;
    };

    // The member of the innermost open object under `key_`, added (null) when it has none; a repeated key
    // keeps its first place and its last value, as nlohmann's reader does.
    Json& member(Open& open) {
        auto& members = open.container->get_ref<Json::object_t&>();
        if (members.size() < indexedMembers) {
            return (*open.container)[key_];
        }
        // The map's own operator[] takes keys: members by position through iterators.
        const auto at = [&members](std::size_t index) {
            return members.begin() + static_cast<std::ptrdiff_t>(index);
        };
        const std::hash<std::string> hash;
        if (open.members.empty()) {
            for (std::size_t index = 0; index < members.size(); ++index) {
                open.members.emplace(hash(at(index)->first), index);
            }
        }
        const std::size_t keyHash = hash(key_);
        const auto [first, last] = open.members.equal_range(keyHash);
        for (auto found = first; found != last; ++found) {
            if (at(found->second)->first == key_) {
                return at(found->second)->second;
            }
        }
        open.members.emplace(keyHash, members.size());
        members.emplace_back(std::move(key_), nullptr);
        return members.back().second;
    }

    // Only the innermost open container receives values, so pointers to the outer ones stay valid.
    Json* place(Json&& value) {
        if (stack_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Open& top = stack_.back();
        if (top.container->is_array()) {
            top.container->push_back(std::move(value));
            return &top.container->back();
        }
        Json& slot = member(top);
        slot = std::move(value);
        return &slot;
    }
    bool put(Json&& value) {
        if (skipped_ == 0) {
            place(std::move(value));
        }
        return true;
    }
    bool open(Json&& container) {
        if (skipped_ > 0) {
            ++skipped_;
            return true;
        }
        if (stack_.size() >= JsonText::maxDepth) {
            if (!readDeepValuesEmpty_) {
                throw std::invalid_argument("JSON text nested deeper than " +
                                            std::to_string(JsonText::maxDepth) + " levels");
            }
            place(std::move(container));
            skipped_ = 1;
            return true;
        }
        stack_.push_back({place(std::move(container)), {}});
        return true;
    }
    bool close() {
        if (skipped_ > 0) {
            --skipped_;
        } else {
            stack_.pop_back();
        }
        return true;
    }

    const bool readDeepValuesEmpty_;
    Json root_;
    std::vector<Open> stack_;
    std::string key_;
    // Containers open below one read as empty: their contents are parsed and dropped.
    std::size_t skipped_ = 0;
};

}  // namespace

bool JsonText::appendString(std::string& out, std::string_view text) {
    // One look at every byte tells whether the text needs escaping and whether it holds anything beyond
    // ASCII, which alone needs the UTF-8 check: the texts of events are mostly short and plain.
    unsigned char seen = 0;
    for (const char c : text) {
        seen |= kStringBytes[static_cast<unsigned char>(c)];
    }
    if ((seen & kBeyondAscii) != 0 && !text::isValidUtf8(text)) {
        return false;
    }
    if ((seen & kEscaped) == 0) {
        // Quotes and text in one append where they fit a small buffer: every key and most values do.
        constexpr std::size_t kSmall = 62;
        if (text.size() <= kSmall) {
            std::array<char, kSmall + 2> quoted;
            quoted[0] = '"';
            std::memcpy(quoted.data() + 1, text.data(), text.size());
            quoted[text.size() + 1] = '"';
            out.append(quoted.data(), text.size() + 2);
        } else {
            out += '"';
            out += text;
            out += '"';
        }
        return true;
    }
    out += '"';
    // The escaping of nlohmann's `dump()`: short escapes for the usual characters, \u00xx for the other
    // controls, every other character as it is. The text being valid UTF-8, only its ASCII bytes need a look.
    static constexpr char hex[] = "0123456789abcdef";
    std::size_t verbatim = 0;  // start of the run of bytes written as they are
    for (std::size_t index = 0; index < text.size(); ++index) {
        const auto byte = static_cast<unsigned char>(text[index]);
        if ((kStringBytes[byte] & kEscaped) == 0) {
            continue;
        }
        out.append(text, verbatim, index - verbatim);
        verbatim = index + 1;
        switch (byte) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += "\\u00";
                out += hex[byte >> 4];
                out += hex[byte & 0x0F];
                break;
        }
    }
    out.append(text, verbatim, text.size() - verbatim);
    out += '"';
    return true;
}

bool JsonText::appendNumber(std::string& out, double number) {
    if (!std::isfinite(number)) {
        return false;
    }
    // The digits nlohmann's serializer writes for a double, without building a serializer for each one.
    std::array<char, 64> digits{};
    const char* end = nlohmann::detail::to_chars(digits.data(), digits.data() + digits.size(), number);
    out.append(digits.data(), static_cast<std::size_t>(end - digits.data()));
    return true;
}

std::string JsonText::write(const nlohmann::ordered_json& json, Style style) {
    Writer writer(style);
    writer.value(json, 0);
    return writer.take();
}

nlohmann::ordered_json JsonText::parse(std::string_view text, DeepValues deepValues) {
    DecimalKeepingBuilder builder(deepValues);
    Json::sax_parse(text.begin(), text.end(), &builder);
    return builder.take();
}

}  // namespace zqb

#include "model/JsonTextWriter.hpp"

#include "model/AnyCodable.hpp"
#include "model/JsonText.hpp"

#include <array>
#include <charconv>
#include <stdexcept>

namespace zqb {

void JsonTextWriter::separate() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!filled_.empty()) {
        if (filled_.back() != 0) {
            out_ += ',';
        }
        filled_.back() = 1;
    }
}

void JsonTextWriter::key(std::string_view name) {
    separate();
    if (!JsonText::appendString(out_, name)) {
        throw JsonText::EncodingError("invalidValue: a key is not valid UTF-8");
    }
    out_ += ':';
    afterKey_ = true;
}

void JsonTextWriter::string(std::string_view value) {
    separate();
    if (!JsonText::appendString(out_, value)) {
        throw JsonText::EncodingError("invalidValue: a string is not valid UTF-8");
    }
}

void JsonTextWriter::integer(int64_t value) {
    separate();
    std::array<char, 24> digits{};
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    out_.append(digits.data(), result.ptr);
}

void JsonTextWriter::unsignedInteger(uint64_t value) {
    separate();
    std::array<char, 24> digits{};
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    out_.append(digits.data(), result.ptr);
}

void JsonTextWriter::boolean(bool value) {
    separate();
    if (value) {
        out_.append("true", 4);
    } else {
        out_.append("false", 5);
    }
}

void JsonTextWriter::number(double value) {
    separate();
    if (!JsonText::appendNumber(out_, value)) {
        throw JsonText::EncodingError("invalidValue: a number is not finite");
    }
}

void JsonTextWriter::null() {
    separate();
    out_.append("null", 4);
}

void JsonTextWriter::value(const AnyCodable& value) {
    using Kind = AnyCodable::Kind;
    switch (value.kind()) {
        case Kind::null:
            null();
            return;
        case Kind::boolean:
            boolean(*value.boolValue());
            return;
        case Kind::int_:
        case Kind::int8:
        case Kind::int16:
        case Kind::int32:
        case Kind::int64:
            integer(*value.signedValue());
            return;
        case Kind::uint:
        case Kind::uint8:
        case Kind::uint16:
        case Kind::uint32:
        case Kind::uint64:
            unsignedInteger(*value.unsignedValue());
            return;
        case Kind::double_:
            number(*value.doubleValue());
            return;
        case Kind::string:
            string(*value.stringValue());
            return;
        case Kind::list:
            beginArray();
            for (const auto& element : *value.listValue()) {
                this->value(element);
            }
            endArray();
            return;
        case Kind::map:
            beginObject();
            for (const auto& [name, element] : *value.mapValue()) {
                key(name);
                this->value(element);
            }
            endObject();
            return;
        // Floats, dates and addresses have rules of their own, kept in one place; they are rare in events.
        case Kind::float_:
        case Kind::date:
        case Kind::url:
        case Kind::opaque:
            break;
    }
    tree(value.toJson());
}

void JsonTextWriter::tree(const nlohmann::ordered_json& value) {
    std::string text = JsonText::write(value);
    separate();
    out_ += text;
}

void JsonTextWriter::beginObject() {
    separate();
    out_ += '{';
    filled_ += '\0';
}

void JsonTextWriter::endObject() {
    end('}');
}

void JsonTextWriter::beginArray() {
    separate();
    out_ += '[';
    filled_ += '\0';
}

void JsonTextWriter::endArray() {
    end(']');
}

void JsonTextWriter::end(char closing) {
    if (filled_.empty() || afterKey_) {
        throw std::logic_error("JsonTextWriter: nothing to close");
    }
    filled_.pop_back();
    out_ += closing;
}

}  // namespace zqb

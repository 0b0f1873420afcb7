#pragma once

#include <nlohmann/json.hpp>

#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zqb {

// Writing and reading JSON text for the records. Trees are `nlohmann::ordered_json`, so members keep the
// order in which a record writes them; the writer adds what nlohmann's own `dump()` lacks here:
// - a `Decimal` node (see Decimal.hpp) is written as a JSON number with the decimal's exact digits;
// - a NaN or infinite double makes the encoding fail instead of being written as `null`;
// - invalid UTF-8 in a string makes the encoding fail.
// Anything that may hold a `Decimal` must be written through here, never with `dump()`.
class JsonText {
public:
    JsonText() = delete;

    // `pretty` puts one member or element per line, indented by two blanks, with a blank on both sides of
    // each colon ("key" : value), as log readers know it from the platform's pretty printer.
    enum class Style { compact, pretty };

    // The text of `json`. Throws `EncodingError` when a value cannot be written.
    static std::string write(const nlohmann::ordered_json& json, Style style = Style::compact);

    // One string and one number as `write` puts them in any text, appended to `out`: the string in double
    // quotes with `"`, `\` and U+0000-U+001F escaped as nlohmann's `dump()` escapes them and every other
    // character as it is; the number in nlohmann's shortest round-trip form ("0.5", "5.0", "1e-05",
    // "-0.0"). Each answers false, leaving `out` as it was, for what cannot be written: text that is not
    // valid UTF-8, a NaN or an infinity.
    static bool appendString(std::string& out, std::string_view text);
    static bool appendNumber(std::string& out, double number);

    // Far beyond any record; keeps a hostile text from exhausting the stack of the recursive writer.
    static constexpr std::size_t maxDepth = 512;

    // What `parse` does with a container nested deeper than `maxDepth` levels.
    enum class DeepValues {
        fail,       // the whole text fails
        readEmpty,  // the container is read as an empty one of its kind; what it holds is parsed, not kept
    };

    // Reads a JSON text (any top-level value) keeping every number with a fraction or an exponent as a
    // `Decimal` node with the text's own digits, so that decimals read back exactly. Integers stay integers.
    // Throws nlohmann's `parse_error` for text that is not JSON, `std::invalid_argument` for nesting beyond
    // `maxDepth` levels unless `deepValues` reads them empty.
    static nlohmann::ordered_json parse(std::string_view text, DeepValues deepValues = DeepValues::fail);

    class EncodingError : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };
};

// The compact encoding of any JSON-encodable value as UTF-8 bytes, or nothing when it cannot be encoded.
// Nothing is logged.
template <typename T>
std::optional<std::string> toJSONData(const T& value) {
    try {
        const nlohmann::ordered_json json = value;
        return JsonText::write(json);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The value pretty-printed, for log messages only; "Error in getting prettyJson" when it cannot be encoded.
template <typename T>
std::string toPrettyJson(const T& value) {
    try {
        const nlohmann::ordered_json json = value;
        return JsonText::write(json, JsonText::Style::pretty);
    } catch (const std::exception&) {
        return "Error in getting prettyJson";
    }
}

}  // namespace zqb

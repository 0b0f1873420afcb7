#pragma once

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>
#include <type_traits>

namespace zqb {

// A value that writes its compact JSON text itself, through an `appendJsonText(std::string&, const T&)`
// found beside it, which throws when the value cannot be written.
template <typename T>
concept WritesJsonText = requires(std::string& out, const T& value) {
    appendJsonText(out, value);
};

// Any value with a JSON form (a `to_json` for `nlohmann::ordered_json`), kept as given and encoded only when
// asked, so that an encoding failure surfaces where the body is produced rather than where it is built.
class AnyEncodable {
public:
    template <typename T, typename = std::enable_if_t<!std::is_same_v<std::decay_t<T>, AnyEncodable>>>
    AnyEncodable(T value)  // NOLINT(google-explicit-constructor): any encodable value converts
        : value_(std::make_shared<const Held<T>>(std::move(value))) {}

    // The JSON value; throws when the value cannot be encoded.
    nlohmann::ordered_json toJson() const { return value_->tree(); }

    // Compact JSON text: the value's own text where it writes one, else its tree by the records' writer
    // (keys in the record's order, non-ASCII raw, exact decimals); nothing when encoding fails for any
    // reason (a value that refuses encoding, a non-finite number, text that is not UTF-8).
    std::optional<std::string> toJSONData() const noexcept;

    // Indented JSON text for log lines; "Error in getting prettyJson" when encoding fails.
    std::string toPrettyJson() const noexcept;

private:
    struct Value {
        virtual ~Value() = default;
        virtual nlohmann::ordered_json tree() const = 0;
        // The value's own compact text; nothing for a value that writes none. Throws as the writer does.
        virtual std::optional<std::string> text() const = 0;
    };

    template <typename T>
    struct Held final : Value {
        explicit Held(T held) : value(std::move(held)) {}
        nlohmann::ordered_json tree() const override { return nlohmann::ordered_json(value); }
        std::optional<std::string> text() const override {
            if constexpr (WritesJsonText<T>) {
                std::string out;
                appendJsonText(out, value);
                return out;
            } else {
                return std::nullopt;
            }
        }
        T value;
    };

    std::shared_ptr<const Value> value_;
};

}  // namespace zqb

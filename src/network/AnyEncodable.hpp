#pragma once

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

namespace zqb {

// Any value with a JSON form (a `to_json` for `nlohmann::ordered_json`), kept as given and encoded only when
// asked, so that an encoding failure surfaces where the body is produced rather than where it is built.
class AnyEncodable {
public:
    template <typename T, typename = std::enable_if_t<!std::is_same_v<std::decay_t<T>, AnyEncodable>>>
    AnyEncodable(T value)  // NOLINT(google-explicit-constructor): any encodable value converts
        : encode_(std::make_shared<const Encoder>(
              [held = std::move(value)] { return nlohmann::ordered_json(held); })) {}

    // The JSON value; throws when the value cannot be encoded.
    nlohmann::ordered_json toJson() const { return (*encode_)(); }

    // Compact JSON text by the records' writer (keys in the record's order, non-ASCII raw, exact decimals);
    // nothing when encoding fails for any reason (a value that refuses encoding, a non-finite number, text
    // that is not UTF-8).
    std::optional<std::string> toJSONData() const noexcept;

    // Indented JSON text for log lines; "Error in getting prettyJson" when encoding fails.
    std::string toPrettyJson() const noexcept;

private:
    using Encoder = std::function<nlohmann::ordered_json()>;
    std::shared_ptr<const Encoder> encode_;
};

}  // namespace zqb

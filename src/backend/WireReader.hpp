#pragma once

#include "backend/WireDecodingError.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zqb {

// Reads the members of one JSON object by the rules of the gateway's records, keeping the coding path for
// the error it throws (`WireDecodingError`):
// - an integer is a JSON number with no fractional part within the signed 64-bit range ("5" and "5.0");
// - a Bool is only `true` or `false`; a String only a JSON string;
// - a required member that is missing or null fails; an optional one that is missing or null is absent;
//   a present value of the wrong type fails either way; members the record does not know are ignored.
class WireReader {
public:
    using Json = nlohmann::ordered_json;

    // The JSON value of a reply body or stored text (nesting is bounded); dataCorrupted when it is no JSON.
    static Json parse(std::string_view text);

    // `json` must be an object (typeMismatch otherwise); `path` is where it sits in the whole answer.
    explicit WireReader(const Json& json, std::vector<std::string> path = {});

    int64_t requiredInt64(const std::string& key) const;
    std::optional<int64_t> optionalInt64(const std::string& key) const;
    bool requiredBool(const std::string& key) const;
    std::optional<bool> optionalBool(const std::string& key) const;
    std::string requiredString(const std::string& key) const;
    std::optional<std::string> optionalString(const std::string& key) const;

    // The member's value, present and not null (keyNotFound / valueNotFound otherwise).
    const Json& required(const std::string& key) const;
    // The member's value, or nothing when it is missing or null.
    const Json* optional(const std::string& key) const;
    // A reader of the member, which must be an object.
    WireReader object(const std::string& key) const;
    WireReader object(const std::string& key, const Json& value) const;
    // The member's value, which must be an array.
    const Json& array(const std::string& key, const Json& value) const;

    // The path of a member of this object, and of an element of an array member.
    std::vector<std::string> pathTo(const std::string& key) const;
    std::vector<std::string> pathTo(const std::string& key, std::size_t index) const;

    // Element readers of arrays, for the records' lists.
    static int64_t int64At(const Json& value, const std::vector<std::string>& path);
    static std::string stringAt(const Json& value, const std::vector<std::string>& path);
    static bool boolAt(const Json& value, const std::vector<std::string>& path);

    [[noreturn]] static void typeMismatch(const std::string& expected, const std::vector<std::string>& path,
                                          const Json& found);

private:
    const Json& json_;
    std::vector<std::string> path_;
};

}  // namespace zqb

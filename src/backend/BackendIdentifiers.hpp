#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace zqb {

// The outcome of the identification request: the numbers the gateway assigned (200), a delay before asking
// again (202), a failure with its message, or a refusal after which no further request is made (422).
class BackendIdentifiers {
public:
    // The body of a 200 answer; every number optional.
    struct Identifiers {
        std::optional<int64_t> vorantelId{};
        std::optional<int64_t> crossPlatformVorantelId{};
        std::optional<int64_t> vorantelIdTimestamp{};

        bool operator==(const Identifiers&) const = default;

        // "\tvorantelId: N", "\n\tcrossPlatformVorantelId: N", "\n\tvorantelIdTimestamp: N", each only when
        // present; "Empty failed" when none is.
        std::string description() const;

        // Throws WireDecodingError when a present value is not an integer.
        static Identifiers fromJson(const nlohmann::ordered_json& json);
    };

    // The body of a 202 answer: the delay in milliseconds.
    struct RetryAfter {
        int64_t retryAfter = 0;

        // Throws WireDecodingError when "retryAfter" is missing, null or not an integer.
        static RetryAfter fromJson(const nlohmann::ordered_json& json);
    };

    // The body of every identification request: 1 for the first request of a series, one more for each retry.
    struct Attempt {
        int64_t attempt = 1;
    };

    enum class Case { identifiers, retryAfter, error, doNotRetry };

    static BackendIdentifiers identifiers(Identifiers value);
    static BackendIdentifiers retryAfter(int64_t milliseconds);
    static BackendIdentifiers error(std::string message);
    static BackendIdentifiers doNotRetry();

    Case kind() const { return case_; }
    // The payload of each case, or nothing for the other cases.
    const Identifiers* identifiersValue() const {
        return case_ == Case::identifiers ? &identifiers_ : nullptr;
    }
    std::optional<int64_t> retryAfterValue() const;
    const std::string* errorValue() const { return case_ == Case::error ? &error_ : nullptr; }
    bool isDoNotRetry() const { return case_ == Case::doNotRetry; }

    bool operator==(const BackendIdentifiers&) const = default;

private:
    explicit BackendIdentifiers(Case kind) : case_(kind) {}

    Case case_;
    Identifiers identifiers_{};
    int64_t retryAfter_ = 0;
    std::string error_{};
};

void to_json(nlohmann::ordered_json& json, const BackendIdentifiers::Identifiers& identifiers);
void to_json(nlohmann::ordered_json& json, const BackendIdentifiers::RetryAfter& retryAfter);
void to_json(nlohmann::ordered_json& json, const BackendIdentifiers::Attempt& attempt);

}  // namespace zqb

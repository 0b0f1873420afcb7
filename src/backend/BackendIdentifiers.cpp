#include "backend/BackendIdentifiers.hpp"

#include "backend/WireReader.hpp"

namespace zqb {

std::string BackendIdentifiers::Identifiers::description() const {
    std::string text;
    if (vorantelId) {
        text += "\tvorantelId: " + std::to_string(*vorantelId);
    }
    if (crossPlatformVorantelId) {
        text += "\n\tcrossPlatformVorantelId: " + std::to_string(*crossPlatformVorantelId);
    }
    if (vorantelIdTimestamp) {
        text += "\n\tvorantelIdTimestamp: " + std::to_string(*vorantelIdTimestamp);
    }
    return text.empty() ? "Empty failed" : text;
}

BackendIdentifiers::Identifiers BackendIdentifiers::Identifiers::fromJson(
    const nlohmann::ordered_json& json) {
    const WireReader reader(json);
    Identifiers identifiers;
    identifiers.vorantelId = reader.optionalInt64("vorantelId");
    identifiers.crossPlatformVorantelId = reader.optionalInt64("crossPlatformVorantelId");
    identifiers.vorantelIdTimestamp = reader.optionalInt64("vorantelIdTimestamp");
    return identifiers;
}

BackendIdentifiers::RetryAfter BackendIdentifiers::RetryAfter::fromJson(const nlohmann::ordered_json& json) {
    return RetryAfter{WireReader(json).requiredInt64("retryAfter")};
}

BackendIdentifiers BackendIdentifiers::identifiers(Identifiers value) {
    BackendIdentifiers result(Case::identifiers);
    result.identifiers_ = value;
    return result;
}

BackendIdentifiers BackendIdentifiers::retryAfter(int64_t milliseconds) {
    BackendIdentifiers result(Case::retryAfter);
    result.retryAfter_ = milliseconds;
    return result;
}

BackendIdentifiers BackendIdentifiers::error(std::string message) {
    BackendIdentifiers result(Case::error);
    result.error_ = std::move(message);
    return result;
}

BackendIdentifiers BackendIdentifiers::doNotRetry() {
    return BackendIdentifiers(Case::doNotRetry);
}

std::optional<int64_t> BackendIdentifiers::retryAfterValue() const {
    return case_ == Case::retryAfter ? std::optional<int64_t>(retryAfter_) : std::nullopt;
}

void to_json(nlohmann::ordered_json& json, const BackendIdentifiers::Identifiers& identifiers) {
    json = nlohmann::ordered_json::object();
    if (identifiers.vorantelId) {
        json["vorantelId"] = *identifiers.vorantelId;
    }
    if (identifiers.crossPlatformVorantelId) {
        json["crossPlatformVorantelId"] = *identifiers.crossPlatformVorantelId;
    }
    if (identifiers.vorantelIdTimestamp) {
        json["vorantelIdTimestamp"] = *identifiers.vorantelIdTimestamp;
    }
}

void to_json(nlohmann::ordered_json& json, const BackendIdentifiers::RetryAfter& retryAfter) {
    json = nlohmann::ordered_json{{"retryAfter", retryAfter.retryAfter}};
}

void to_json(nlohmann::ordered_json& json, const BackendIdentifiers::Attempt& attempt) {
    json = nlohmann::ordered_json{{"attempt", attempt.attempt}};
}

}  // namespace zqb

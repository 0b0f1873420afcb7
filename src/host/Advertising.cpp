#include "host/Advertising.hpp"

namespace zqb::host {

std::optional<std::string> Advertising::advertisingIdentifier() const {
    std::lock_guard lock(mutex_);
    const bool trackingAllowed = status_ ? *status_ == kTrackingAuthorized : trackingEnabled_;
    if (identifier_ && !trackingAllowed) {
        return kZeroAdvertisingIdentifier;
    }
    return identifier_;
}

bool Advertising::isAdvertisingTrackingEnabled() const {
    std::lock_guard lock(mutex_);
    return trackingEnabled_;
}

std::optional<int64_t> Advertising::trackingAuthorizationStatus() const {
    std::lock_guard lock(mutex_);
    return status_;
}

void Advertising::setAdvertisingIdentifier(std::optional<std::string> identifier) {
    std::lock_guard lock(mutex_);
    identifier_ = std::move(identifier);
}

void Advertising::setAdvertisingTrackingEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    trackingEnabled_ = enabled;
}

void Advertising::setTrackingAuthorizationStatus(std::optional<int64_t> status) {
    std::lock_guard lock(mutex_);
    status_ = status;
}

}  // namespace zqb::host

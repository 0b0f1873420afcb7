#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace zqb::host {

// The answer to the tracking-authorisation prompt that lets the application track the user; the others are
// 0 not determined, 1 restricted and 2 denied.
inline constexpr int64_t kTrackingAuthorized = 3;

// The identifier the platform gives in place of the advertising identifier while the user does not allow
// tracking.
inline constexpr const char* kZeroAdvertisingIdentifier = "00000000-0000-0000-0000-000000000000";

// The advertising identifier with its tracking flag, and the user's answer to the tracking-authorisation
// prompt.
class AdvertisingProtocol {
public:
    virtual ~AdvertisingProtocol() = default;
    // Upper-case UUID text; absent when the host has none.
    virtual std::optional<std::string> advertisingIdentifier() const = 0;
    virtual bool isAdvertisingTrackingEnabled() const = 0;
    // Absent when the host has no tracking-authorisation prompt at all; the tracking flag then decides.
    virtual std::optional<int64_t> trackingAuthorizationStatus() const = 0;
};

// Linux default: no advertising identifier, tracking flag off, authorisation "not determined", until the host
// sets them (`ZQBHost`). As the platform does, it gives the host's advertising identifier only while the
// user allows tracking (the prompt answered "authorised", or, without a prompt, the flag on) and the all-zero
// identifier otherwise, so that a refusal keeps the identifier from every event and request.
class Advertising final : public AdvertisingProtocol {
public:
    std::optional<std::string> advertisingIdentifier() const override;
    bool isAdvertisingTrackingEnabled() const override;
    std::optional<int64_t> trackingAuthorizationStatus() const override;

    void setAdvertisingIdentifier(std::optional<std::string> identifier);
    void setAdvertisingTrackingEnabled(bool enabled);
    void setTrackingAuthorizationStatus(std::optional<int64_t> status);

private:
    mutable std::mutex mutex_;
    std::optional<std::string> identifier_;
    bool trackingEnabled_ = false;
    std::optional<int64_t> status_ = 0;
};

}  // namespace zqb::host

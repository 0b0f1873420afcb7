#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace zqb::host {

// The advertising identifier with its tracking flag, and the user's answer to the tracking-authorisation
// prompt (0 not determined, 1 restricted, 2 denied, 3 authorised).
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
// sets them (`ZQBHost`).
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

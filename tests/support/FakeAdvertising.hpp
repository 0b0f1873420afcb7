#pragma once

#include "host/Advertising.hpp"

#include <mutex>

namespace zqb::test {

// Advertising facts set by the test; defaults as on a fresh Linux host.
class FakeAdvertising final : public host::AdvertisingProtocol {
public:
    std::optional<std::string> advertisingIdentifier() const override {
        std::lock_guard lock(mutex_);
        return identifier;
    }
    bool isAdvertisingTrackingEnabled() const override {
        std::lock_guard lock(mutex_);
        return trackingEnabled;
    }
    std::optional<int64_t> trackingAuthorizationStatus() const override {
        std::lock_guard lock(mutex_);
        return status;
    }

    void set(std::optional<std::string> newIdentifier, std::optional<int64_t> newStatus = 0,
             bool newTrackingEnabled = false) {
        std::lock_guard lock(mutex_);
        identifier = std::move(newIdentifier);
        status = newStatus;
        trackingEnabled = newTrackingEnabled;
    }

private:
    mutable std::mutex mutex_;
    std::optional<std::string> identifier;
    std::optional<int64_t> status = 0;
    bool trackingEnabled = false;
};

}  // namespace zqb::test

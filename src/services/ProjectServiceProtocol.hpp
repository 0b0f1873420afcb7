#pragma once

#include "backend/Config.hpp"
#include "model/DeviceIdentifiers.hpp"
#include "model/DeviceInfo.hpp"
#include "platform/ApplicationData.hpp"
#include "platform/SdkData.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zqb {

// The stored state of the active project: tracking, the referral mark, the order ids already reported and
// the analytics configuration. Called on the income queue.
class ProjectServiceProtocol {
public:
    virtual ~ProjectServiceProtocol() = default;

    // Writes the flag into every stored project.
    virtual void setTrackingAvailable(bool value) = 0;
    virtual bool getTrackingAvailable() = 0;
    virtual bool userCounting() = 0;
    virtual bool isRefererSent() = 0;
    // Ignored while tracking is off.
    virtual void setIsRefererSent(bool value) = 0;
    // The most parameters a custom event may carry.
    virtual int64_t paramsCount() = 0;
    // True when this order id was already marked for the active project.
    virtual bool isCurrencyPaymentMarked(const std::string& orderId) = 0;
    virtual void markCurrencyPayment(const std::string& orderId) = 0;
    virtual ApplicationData getAppData() = 0;
    virtual SdkData getSdkData() = 0;
    virtual std::optional<DeviceInfo> getDeviceInfo(int64_t timestamp) = 0;
    virtual std::shared_ptr<DeviceIdentifiers> getDeviceIdentifiers() = 0;
    // Merges a configuration received from the gateway into the stored one, saves it and hands its
    // exclusion table to the argument rules.
    virtual void applyConfig(const Config& config) = 0;
    // True when the stored configuration counts users and the received one does not.
    virtual bool checkIfNeedRemoveUsersData(const Config& config) = 0;
};

}  // namespace zqb

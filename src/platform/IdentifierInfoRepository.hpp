#pragma once

#include "platform/IdentifierCollector.hpp"
#include "platform/PlatformStorage.hpp"

#include <memory>

namespace zqb {

class IdentifierInfoRepositoryProtocol {
public:
    virtual ~IdentifierInfoRepositoryProtocol() = default;
    virtual bool isLimitAdTrackingEnabled() const = 0;
    virtual std::optional<std::string> idfa() const = 0;
    virtual std::optional<std::string> idfv() const = 0;
    virtual std::string uuid() = 0;
    virtual DeviceUIDs obtainDeviceUIDs(bool advertisingAllowed) = 0;
};

// The collector's identifier facts under the names the gateway uses.
class IdentifierInfoRepository final : public IdentifierInfoRepositoryProtocol {
public:
    IdentifierInfoRepository(std::shared_ptr<IdentifierCollectorProtocol> collector,
                             std::shared_ptr<PlatformStorageProtocol> platformStorage);

    bool isLimitAdTrackingEnabled() const override;
    std::optional<std::string> idfa() const override;
    std::optional<std::string> idfv() const override;
    std::string uuid() override;
    DeviceUIDs obtainDeviceUIDs(bool advertisingAllowed) override;

private:
    std::shared_ptr<PlatformStorageProtocol> platformStorage_;  // held, not used
    std::shared_ptr<IdentifierCollectorProtocol> collector_;
};

}  // namespace zqb

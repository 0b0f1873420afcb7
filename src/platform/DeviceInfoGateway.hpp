#pragma once

#include "platform/DeviceData.hpp"
#include "platform/DeviceInfoRepository.hpp"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace zqb {

class DeviceInfoGatewayProtocol {
public:
    virtual ~DeviceInfoGatewayProtocol() = default;
    virtual void getDeviceData(std::function<void(DeviceData)> completionHandler) = 0;
};

// Builds the device record once the jailbreak check has answered and keeps it; later requests get the kept
// record with language, country and time-zone offset read afresh, at once on the calling thread.
// The kept record is guarded: the check answers on a library thread while requests come from any queue.
// Must be owned by a shared_ptr: a pending check holds it weakly and is dropped when it is gone.
class DeviceInfoGateway final : public DeviceInfoGatewayProtocol,
                                public std::enable_shared_from_this<DeviceInfoGateway> {
public:
    explicit DeviceInfoGateway(std::shared_ptr<DeviceInfoRepositoryProtocol> deviceInfoRepository);

    // The first request completes when the check answers, on the thread it answers on (at once when the
    // check needs no probing); a request made before that starts a check of its own. When the gateway is
    // released before the answer, the completion is never called.
    void getDeviceData(std::function<void(DeviceData)> completionHandler) override;

    std::optional<DeviceData> savedData() const;

private:
    DeviceData build(bool isRooted) const;
    DeviceData keep(const DeviceData& built);
    DeviceData refreshed();

    std::shared_ptr<DeviceInfoRepositoryProtocol> deviceInfoRepository_;
    mutable std::mutex mutex_;
    std::optional<DeviceData> savedData_;
};

}  // namespace zqb

#pragma once

#include "core/DeviceManagerProtocol.hpp"

#include <chrono>

namespace zqb {

class IdentifiersRepository;
class StoredAdvertisingIds;
class ToolsRepository;

// Built by the start-up operation from the core factory's identifiers and tools repositories and platform.
class DeviceManager final : public DeviceManagerProtocol {
public:
    static constexpr std::chrono::milliseconds defaultDeviceDataTimeout{20000};
    // The tools row key of the library version last seen on this device.
    static constexpr const char* sdkVersionKey = "sdkVersion";

    DeviceManager(std::shared_ptr<IdentifiersRepository> identifiersRepository,
                  std::shared_ptr<ToolsRepository> toolsRepository,
                  std::shared_ptr<PlatformProtocol> platform,
                  std::shared_ptr<StoredAdvertisingIds> advertisingIds,
                  std::chrono::milliseconds deviceDataTimeout = defaultDeviceDataTimeout);

    // Keeps the marks of the row's advertising identifiers in step with the platform's. The first call
    // that finds the advertising identifier not allowed first removes every one the database keeps.
    std::shared_ptr<DeviceIdentifiers> initializeDeviceId(const Project& project) override;
    void withdrawAdvertisingIdentifier() override;
    // Blocks the calling thread for at most the time-out. The platform answers on its own threads (or at
    // once on this one), never through a library queue or the host's thread, so the wait cannot be held up
    // by a queue this thread would have to run, nor by a life-cycle wait. An answer after the time-out is
    // dropped.
    std::optional<DeviceData> getDeviceData() override;
    ApplicationData getAppData() override;
    IdentifierData getIdentifiersData() override;
    SdkData getSdkData() override;
    void updateDeviceIdentifiers(const std::shared_ptr<DeviceIdentifiers>& identifiers) override;
    std::optional<bool> sdkVersionIsChanged() override;

    const std::shared_ptr<PlatformProtocol>& platform() const { return platform_; }
    const std::shared_ptr<IdentifiersRepository>& identifiersRepository() const {
        return identifiersRepository_;
    }
    const std::shared_ptr<ToolsRepository>& toolsRepository() const { return toolsRepository_; }

private:
    const std::shared_ptr<IdentifiersRepository> identifiersRepository_;
    const std::shared_ptr<ToolsRepository> toolsRepository_;
    const std::shared_ptr<PlatformProtocol> platform_;
    const std::shared_ptr<StoredAdvertisingIds> advertisingIds_;
    const std::chrono::milliseconds deviceDataTimeout_;
    // The stored advertising identifiers have been removed since the platform stopped allowing them.
    bool withdrawnRemoved_ = false;
};

}  // namespace zqb

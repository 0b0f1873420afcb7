#include "core/DeviceManager.hpp"

#include "foundation/SdkConstraints.hpp"
#include "platform/PlatformiOS.hpp"
#include "repositories/IdentifiersRepository.hpp"
#include "repositories/ToolsRepository.hpp"

#include <condition_variable>
#include <mutex>

namespace zqb {

DeviceManager::DeviceManager(std::shared_ptr<IdentifiersRepository> identifiersRepository,
                             std::shared_ptr<ToolsRepository> toolsRepository,
                             std::shared_ptr<PlatformProtocol> platform,
                             std::chrono::milliseconds deviceDataTimeout)
    : identifiersRepository_(std::move(identifiersRepository)),
      toolsRepository_(std::move(toolsRepository)),
      platform_(std::move(platform)),
      deviceDataTimeout_(deviceDataTimeout) {}

std::shared_ptr<DeviceIdentifiers> DeviceManager::initializeDeviceId(const Project& project) {
    std::shared_ptr<DeviceIdentifiers> stored;
    for (const auto& identifiers : identifiersRepository_->list()) {
        if (identifiers->projectId == project.idKey) {
            stored = identifiers;
            break;
        }
    }
    const IdentifierData facts = platform_->getIdentifierData();
    if (!stored) {
        auto created = std::make_shared<DeviceIdentifiers>(project.idKey, facts.deviceUIDs.current,
                                                           facts.uuid, facts.deviceUIDs.prev);
        identifiersRepository_->insert(created);
        return created;
    }
    if (stored->deviceIdentifier == facts.deviceUIDs.current) {
        return stored;
    }
    stored->previousDeviceIdentifier = stored->deviceIdentifier;
    stored->deviceIdentifier = facts.deviceUIDs.current;
    stored->vorantelId.reset();
    stored->crossPlatformVorantelId.reset();
    stored->vorantelIdTimestamp.reset();
    identifiersRepository_->update(stored);
    return stored;
}

std::optional<DeviceData> DeviceManager::getDeviceData() {
    // Shared with the completion, which may come after this call has given up and returned.
    struct Slot {
        std::mutex mutex;
        std::condition_variable answered;
        std::optional<DeviceData> data;
        bool closed = false;
    };
    const auto slot = std::make_shared<Slot>();
    platform_->getDeviceData([slot](DeviceData data) {
        {
            std::lock_guard lock(slot->mutex);
            if (slot->closed) {
                return;
            }
            slot->data = std::move(data);
            slot->closed = true;
        }
        slot->answered.notify_all();
    });
    std::unique_lock lock(slot->mutex);
    slot->answered.wait_for(lock, deviceDataTimeout_, [&] { return slot->closed; });
    slot->closed = true;
    return slot->data;
}

ApplicationData DeviceManager::getAppData() {
    return platform_->getApplicationData();
}

IdentifierData DeviceManager::getIdentifiersData() {
    return platform_->getIdentifierData();
}

SdkData DeviceManager::getSdkData() {
    return platform_->getSdkData();
}

void DeviceManager::updateDeviceIdentifiers(const std::shared_ptr<DeviceIdentifiers>& identifiers) {
    identifiersRepository_->update(identifiers);
}

std::optional<bool> DeviceManager::sdkVersionIsChanged() {
    const std::string current = SdkConstraints::sdkVersion();
    const auto rows = toolsRepository_->list();
    if (rows.empty()) {
        auto tools = std::make_shared<SdkTools>();
        tools->setMetadataByKey(sdkVersionKey, PeopleValueType(current));
        toolsRepository_->insert(tools);
        return std::nullopt;
    }
    const std::shared_ptr<SdkTools>& tools = rows.front();
    const auto stored = tools->getMetadataByKey(sdkVersionKey);
    const std::optional<std::string> text = stored ? stored->toString() : std::nullopt;
    if (!text || *text == current) {
        return false;
    }
    tools->setMetadataByKey(sdkVersionKey, PeopleValueType(current));
    toolsRepository_->update(tools);
    return true;
}

}  // namespace zqb

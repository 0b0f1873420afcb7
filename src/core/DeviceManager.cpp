#include "core/DeviceManager.hpp"

#include "core/StoredAdvertisingIds.hpp"
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
                             std::shared_ptr<StoredAdvertisingIds> advertisingIds,
                             std::chrono::milliseconds deviceDataTimeout)
    : identifiersRepository_(std::move(identifiersRepository)),
      toolsRepository_(std::move(toolsRepository)),
      platform_(std::move(platform)),
      advertisingIds_(std::move(advertisingIds)),
      deviceDataTimeout_(deviceDataTimeout) {}

// A mark is added before the row takes the id it names and taken away after the row lost it, so that a
// process ending between the two writes never leaves an advertising identifier unmarked.
std::shared_ptr<DeviceIdentifiers> DeviceManager::initializeDeviceId(const Project& project) {
    using Marks = StoredAdvertisingIds::Marks;
    const IdentifierData facts = platform_->getIdentifierData();
    const bool allowed = !facts.isLimitAdTrackingEnabled;
    if (allowed) {
        withdrawnRemoved_ = false;
    } else if (!withdrawnRemoved_) {
        withdrawnRemoved_ = true;
        advertisingIds_->removeWithdrawn(facts.deviceUIDs.current);
    }
    std::shared_ptr<DeviceIdentifiers> stored;
    for (const auto& identifiers : identifiersRepository_->list()) {
        if (identifiers->projectId == project.idKey) {
            stored = identifiers;
            break;
        }
    }
    const DeviceUIDs& ids = facts.deviceUIDs;
    if (!stored) {
        advertisingIds_->mark(project.idKey, {ids.currentIsAdvertising, ids.prev && ids.prevIsAdvertising});
        auto created = std::make_shared<DeviceIdentifiers>(project.idKey, ids.current, facts.uuid, ids.prev);
        identifiersRepository_->insert(created);
        return created;
    }
    const Marks marks = advertisingIds_->marksOf(project.idKey);
    if (stored->deviceIdentifier == ids.current) {
        // Rows kept before the marks existed get theirs once the platform names the id.
        const bool previousIsAdvertising =
            marks.previousDeviceIdentifier || (ids.prevIsAdvertising && stored->previousDeviceIdentifier &&
                                               stored->previousDeviceIdentifier == ids.prev);
        advertisingIds_->mark(project.idKey, {ids.currentIsAdvertising, previousIsAdvertising});
        return stored;
    }
    // An advertising identifier that is not allowed is not kept as the previous id.
    const bool keepPrevious = allowed || !marks.deviceIdentifier;
    const Marks changed{ids.currentIsAdvertising, keepPrevious && marks.deviceIdentifier};
    advertisingIds_->mark(project.idKey,
                          {marks.deviceIdentifier || changed.deviceIdentifier,
                           marks.previousDeviceIdentifier || changed.previousDeviceIdentifier});
    stored->previousDeviceIdentifier =
        keepPrevious ? std::optional<std::string>(stored->deviceIdentifier) : std::nullopt;
    stored->deviceIdentifier = ids.current;
    stored->vorantelId.reset();
    stored->crossPlatformVorantelId.reset();
    stored->vorantelIdTimestamp.reset();
    if (identifiersRepository_->update(stored)) {
        advertisingIds_->mark(project.idKey, changed);
    }
    return stored;
}

void DeviceManager::withdrawAdvertisingIdentifier() {
    platform_->withdrawAdvertisingIdentifier();
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

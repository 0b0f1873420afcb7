#include "services/LevelResourceService.hpp"

#include "foundation/Logger.hpp"
#include "services/ResourceSum.hpp"

#include <algorithm>

namespace zqb {

LevelResourceService::LevelResourceService(std::shared_ptr<StateManagerProtocol> stateManager,
                                           std::shared_ptr<LevelResourcesRepository> levelResourcesRepository)
    : stateManager_(std::move(stateManager)), repository_(std::move(levelResourcesRepository)) {}

std::vector<LevelResource> LevelResourceService::rowsOf(int64_t userIdKey) {
    auto rows = repository_->list();
    std::erase_if(rows, [&](const LevelResource& row) { return row.userId != userIdKey; });
    return rows;
}

void LevelResourceService::addLevelResource(const LevelResource& resource) {
    const auto user = stateManager_->getActiveUser();
    if (!stateManager_->getActiveProject()->trackingAvailable || !user->isResourceAggregationEnable) {
        return;
    }
    LevelResource record = resource;
    record.userId = user->idKey;
    const auto rows = rowsOf(user->idKey);
    const auto found = std::find(rows.begin(), rows.end(), record);
    if (found == rows.end()) {
        repository_->insert(record);
        Logger::writeLog(ZQBLogLevel::debug, "Insert LU resources: \n" + record.description() + " ");
        return;
    }
    const auto sum = addClampedToInt32(found->amount, record.amount);
    if (sum.clamped) {
        Logger::writeLog(ZQBLogLevel::error, "LU resource: " + record.name + " is overflowed");
    }
    LevelResource updated = *found;
    updated.amount = sum.amount;
    repository_->update(updated);
    Logger::writeLog(ZQBLogLevel::debug, "Update LU resources: \n" + updated.description() + " ");
}

std::optional<LevelResourceSums> LevelResourceService::getResources(LevelResourceType type) {
    LevelResourceSums sums;
    for (const auto& row : rowsOf(stateManager_->getActiveUser()->idKey)) {
        if (row.type == type) {
            sums[row.name] = row.amount;
        }
    }
    if (sums.empty()) {
        return std::nullopt;
    }
    return sums;
}

std::optional<LevelResourceSums> LevelResourceService::getSpentResources() {
    return getResources(LevelResourceType::spent);
}

std::optional<LevelResourceSums> LevelResourceService::getEarnedResources() {
    return getResources(LevelResourceType::earned);
}

std::optional<LevelResourceSums> LevelResourceService::getBoughtResources() {
    return getResources(LevelResourceType::bought);
}

bool LevelResourceService::removeResourcesForActiveUser() {
    if (repository_->deleteItems(rowsOf(stateManager_->getActiveUser()->idKey))) {
        return true;
    }
    Logger::writeLog(ZQBLogLevel::error,
                     "LU resources cannot be removed; they are reported with a later level-up");
    return false;
}

void LevelResourceService::removeAllResources() {
    repository_->clear();
}

void LevelResourceService::removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) {
    repository_->deleteForDataForUsers(User::idKeys(users));
}

}  // namespace zqb

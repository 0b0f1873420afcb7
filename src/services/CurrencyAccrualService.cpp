#include "services/CurrencyAccrualService.hpp"

#include "foundation/Logger.hpp"
#include "services/ResourceSum.hpp"

#include <algorithm>

namespace zqb {

CurrencyAccrualService::CurrencyAccrualService(
    std::shared_ptr<StateManagerProtocol> stateManager,
    std::shared_ptr<CurrencyAccrualResourcesRepository> currencyAccrualResourcesRepository)
    : stateManager_(std::move(stateManager)), repository_(std::move(currencyAccrualResourcesRepository)) {}

std::vector<CurrencyAccrualResource> CurrencyAccrualService::rowsOf(int64_t userIdKey) {
    auto rows = repository_->list();
    std::erase_if(rows, [&](const CurrencyAccrualResource& row) { return row.userId != userIdKey; });
    return rows;
}

void CurrencyAccrualService::addCurrencyAccrual(const CurrencyAccrualResource& accrual) {
    if (!stateManager_->getActiveProject()->trackingAvailable) {
        return;
    }
    const auto user = stateManager_->getActiveUser();
    const CurrencyAccrualResource record(accrual.timestamp, accrual.name, accrual.amount, accrual.source,
                                         accrual.type, user->idKey, accrual.idKey);
    const auto rows = rowsOf(user->idKey);
    const auto found = std::find(rows.begin(), rows.end(), record);
    if (found == rows.end()) {
        // A single accrual is already within range (the argument rules see to it); only sums are clamped.
        repository_->insert(record);
        Logger::writeLog(ZQBLogLevel::debug, "Insert CA resources: \n" + record.description() + " ");
        return;
    }
    const auto sum = addClampedToInt32(found->amount, record.amount);
    if (sum.clamped) {
        Logger::writeLog(ZQBLogLevel::error, "CA resource: " + record.name + " is overflowed");
    }
    const CurrencyAccrualResource updated(record.timestamp, found->name, sum.amount, found->source,
                                          found->type, found->userId, found->idKey);
    repository_->update(updated);
    Logger::writeLog(ZQBLogLevel::debug, "Update CA resources: \n" + updated.description() + " ");
}

bool CurrencyAccrualService::isContainsCurrencyAccrual() {
    return !rowsOf(stateManager_->getActiveUser()->idKey).empty();
}

std::optional<CurrencyAccrualSums> CurrencyAccrualService::getResources(ZQBAccrualType type,
                                                                        const std::shared_ptr<User>& user) {
    const int64_t userIdKey = user ? user->idKey : stateManager_->getActiveUser()->idKey;
    CurrencyAccrualSums sums;
    for (const auto& row : rowsOf(userIdKey)) {
        if (row.type == type) {
            sums[row.source][row.name] = row.amount;
        }
    }
    if (sums.empty()) {
        return std::nullopt;
    }
    return sums;
}

std::optional<CurrencyAccrualSums> CurrencyAccrualService::getEarnedResources(
    const std::shared_ptr<User>& user) {
    return getResources(ZQBAccrualType::earned, user);
}

std::optional<CurrencyAccrualSums> CurrencyAccrualService::getBoughtResources(
    const std::shared_ptr<User>& user) {
    return getResources(ZQBAccrualType::bought, user);
}

std::optional<int64_t> CurrencyAccrualService::getLastCreatedTime(const User& user) {
    std::optional<int64_t> latest;
    for (const auto& row : rowsOf(user.idKey)) {
        latest = std::max(latest.value_or(row.timestamp), row.timestamp);
    }
    return latest;
}

bool CurrencyAccrualService::removeResourcesForActiveUser() {
    return removeResources(*stateManager_->getActiveUser());
}

bool CurrencyAccrualService::removeResources(const User& user) {
    if (repository_->deleteItems(rowsOf(user.idKey))) {
        return true;
    }
    Logger::writeLog(ZQBLogLevel::error,
                     "CA resources cannot be removed; they are reported with a later event");
    return false;
}

void CurrencyAccrualService::removeAllResources() {
    repository_->clear();
}

void CurrencyAccrualService::removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) {
    repository_->deleteForDataForUsers(User::idKeys(users));
}

}  // namespace zqb

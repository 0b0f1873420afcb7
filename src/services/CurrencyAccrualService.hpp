#pragma once

#include "model/CurrencyAccrualResource.hpp"
#include "model/User.hpp"
#include "repositories/CurrencyAccrualResourcesRepository.hpp"
#include "services/CurrencyAccrualServiceProtocol.hpp"
#include "services/StateManagerProtocol.hpp"

#include <ZQBAnalytics/ZQBEnums.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

class CurrencyAccrualService final : public CurrencyAccrualServiceProtocol {
public:
    CurrencyAccrualService(
        std::shared_ptr<StateManagerProtocol> stateManager,
        std::shared_ptr<CurrencyAccrualResourcesRepository> currencyAccrualResourcesRepository);

    void addCurrencyAccrual(const CurrencyAccrualResource& accrual) override;
    bool isContainsCurrencyAccrual() override;
    std::optional<CurrencyAccrualSums> getEarnedResources(const std::shared_ptr<User>& user) override;
    std::optional<CurrencyAccrualSums> getBoughtResources(const std::shared_ptr<User>& user) override;
    std::optional<int64_t> getLastCreatedTime(const User& user) override;
    bool removeResourcesForActiveUser() override;
    bool removeResources(const User& user) override;
    void removeAllResources() override;
    void removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) override;

private:
    std::vector<CurrencyAccrualResource> rowsOf(int64_t userIdKey);
    std::optional<CurrencyAccrualSums> getResources(ZQBAccrualType type, const std::shared_ptr<User>& user);

    std::shared_ptr<StateManagerProtocol> stateManager_;
    std::shared_ptr<CurrencyAccrualResourcesRepository> repository_;
};

}  // namespace zqb

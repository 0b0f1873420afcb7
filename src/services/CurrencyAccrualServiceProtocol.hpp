#pragma once

#include "model/CurrencyAccrualResource.hpp"
#include "model/User.hpp"

#include <ZQBAnalytics/ZQBEnums.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// Summed accruals as the currency-accrual event reports them: source -> currency name -> amount.
using CurrencyAccrualSums = std::map<std::string, std::map<std::string, int64_t>>;

// Sums the active user's currency accruals per (currency, source, type) until the logic reports them.
// Income queue only.
class CurrencyAccrualServiceProtocol {
public:
    virtual ~CurrencyAccrualServiceProtocol() = default;

    // Adds the accrual to the active user's row of the same currency, source and type, or stores a new row.
    // Nothing while tracking is off.
    virtual void addCurrencyAccrual(const CurrencyAccrualResource& accrual) = 0;
    // The active user has at least one row.
    virtual bool isContainsCurrencyAccrual() = 0;
    // The user's (null: the active user's) earned or bought sums; nothing when there are none.
    virtual std::optional<CurrencyAccrualSums> getEarnedResources(const std::shared_ptr<User>& user) = 0;
    virtual std::optional<CurrencyAccrualSums> getBoughtResources(const std::shared_ptr<User>& user) = 0;
    // The newest timestamp among the user's rows.
    virtual std::optional<int64_t> getLastCreatedTime(const User& user) = 0;
    // Deletes the user's rows, once reported. Whether they are gone: rows that stay are reported by a later
    // event, and must not have been reported already.
    virtual bool removeResourcesForActiveUser() = 0;
    virtual bool removeResources(const User& user) = 0;
    virtual void removeAllResources() = 0;
    virtual void removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) = 0;
};

}  // namespace zqb

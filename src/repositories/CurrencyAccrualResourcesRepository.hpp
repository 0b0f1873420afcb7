#pragma once

#include "model/CurrencyAccrualResource.hpp"
#include "repositories/Repository.hpp"

namespace zqb {

// The table "currencyAccrualResources": per user, the accruals gathered until they become an event.
class CurrencyAccrualResourcesRepository : public Repository<CurrencyAccrualResource> {
public:
    static constexpr const char* table = "currencyAccrualResources";

    explicit CurrencyAccrualResourcesRepository(std::shared_ptr<DatabaseProtocol> database);

    // The cache gets a copy of the accrual with the new row id and the row's timestamp; the caller's value
    // keeps idKey -1.
    virtual void insert(const CurrencyAccrualResource& resource);
    // The row is written, then the value replaces the cached one with its idKey.
    virtual bool update(const CurrencyAccrualResource& resource);
    virtual bool deleteItems(const std::vector<CurrencyAccrualResource>& resources);
    virtual bool deleteForDataForUsers(const std::vector<int64_t>& userIds);
    virtual bool clear();

    static ColumnMap prepareContentValues(const CurrencyAccrualResource& resource);
};

}  // namespace zqb

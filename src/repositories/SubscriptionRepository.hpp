#pragma once

#include "model/SubscriptionInfo.hpp"
#include "repositories/Repository.hpp"

namespace zqb {

// The table "subscriptions": the store products and restored transactions of every project, with the
// marks of what was already sent.
class SubscriptionRepository : public Repository<SubscriptionInfo> {
public:
    static constexpr const char* table = "subscriptions";

    explicit SubscriptionRepository(std::shared_ptr<DatabaseProtocol> database);

    // On success the record gets its row id and joins the cache.
    virtual void insert(const std::shared_ptr<SubscriptionInfo>& info);
    // Writes every column from the shared object (which the cache already holds).
    virtual bool update(const std::shared_ptr<SubscriptionInfo>& info);

    static ColumnMap prepareContentValues(const SubscriptionInfo& info);
};

}  // namespace zqb

#pragma once

#include "model/Report.hpp"
#include "repositories/Repository.hpp"

#include <string>

namespace zqb {

// The table "reports": reports packed from stored events, kept until the gateway accepts them.
class ReportsRepository : public Repository<Report, Report, MappedAllocator> {
public:
    static constexpr const char* table = "reports";

    explicit ReportsRepository(std::shared_ptr<DatabaseProtocol> database);

    // On success the report gets its row id and joins the cache.
    virtual void insert(const std::shared_ptr<Report>& report);
    // Writes the row of `report`'s idKey from it, and puts it in the place of the cached report with that
    // idKey. Whether it was written.
    virtual bool update(const std::shared_ptr<Report>& report);
    virtual bool deleteItems(const std::vector<std::shared_ptr<Report>>& reports);
    // Every report of these users (their idKey).
    virtual bool deleteForDataForUsers(const std::vector<int64_t>& userIds);
    virtual bool clear();

    // The packages are always written afresh from `packages`, never from `packagesJson`.
    static ColumnMap prepareContentValues(const Report& report);

private:
    static ColumnMap contentValues(const Report& report, std::string packagesText);
};

}  // namespace zqb

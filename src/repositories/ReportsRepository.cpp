#include "repositories/ReportsRepository.hpp"

namespace zqb {

ReportsRepository::ReportsRepository(std::shared_ptr<DatabaseProtocol> database)
    : Repository(std::move(database), table) {}

ColumnMap ReportsRepository::prepareContentValues(const Report& report) {
    return {{"userId", SQLiteValue(report.userId)},
            {"packagesJson", SQLiteValue(Report::packagesText(report.packages))},
            {"uuid", SQLiteValue(report.uuid)}};
}

void ReportsRepository::insert(const std::shared_ptr<Report>& report) {
    if (report) {
        insertRecord(report, prepareContentValues(*report));
    }
}

void ReportsRepository::deleteItems(const std::vector<std::shared_ptr<Report>>& reports) {
    std::vector<int64_t> ids;
    ids.reserve(reports.size());
    for (const auto& report : reports) {
        if (report) {
            ids.push_back(report->idKey);
        }
    }
    deleteIds(ids);
}

void ReportsRepository::deleteForDataForUsers(const std::vector<int64_t>& userIds) {
    deleteForUsers(userIds);
}

void ReportsRepository::clear() {
    clearTable();
}

}  // namespace zqb

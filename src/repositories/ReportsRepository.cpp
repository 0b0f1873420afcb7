#include "repositories/ReportsRepository.hpp"

namespace zqb {

ReportsRepository::ReportsRepository(std::shared_ptr<DatabaseProtocol> database)
    : Repository(std::move(database), table) {}

ColumnMap ReportsRepository::prepareContentValues(const Report& report) {
    return contentValues(report, Report::packagesText(report.packages));
}

ColumnMap ReportsRepository::contentValues(const Report& report, std::string packagesText) {
    // Filled in place: a list would copy the text once more.
    ColumnMap content;
    content.reserve(3);
    content.emplace_back("userId", SQLiteValue(report.userId));
    content.emplace_back("packagesJson", SQLiteValue(std::move(packagesText)));
    content.emplace_back("uuid", SQLiteValue(report.uuid));
    return content;
}

void ReportsRepository::insert(const std::shared_ptr<Report>& report) {
    if (report) {
        // The report keeps the text its row is written with: its upload is that text.
        insertRecord(report, contentValues(*report, report->keepPackagesText()));
    }
}

bool ReportsRepository::update(const std::shared_ptr<Report>& report) {
    return report && updateRecord(report, contentValues(*report, report->keepPackagesText()), true);
}

bool ReportsRepository::deleteItems(const std::vector<std::shared_ptr<Report>>& reports) {
    std::vector<int64_t> ids;
    ids.reserve(reports.size());
    for (const auto& report : reports) {
        if (report) {
            ids.push_back(report->idKey);
        }
    }
    return deleteIds(ids);
}

bool ReportsRepository::deleteForDataForUsers(const std::vector<int64_t>& userIds) {
    return deleteForUsers(userIds);
}

bool ReportsRepository::clear() {
    return clearTable();
}

}  // namespace zqb

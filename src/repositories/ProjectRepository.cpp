#include "repositories/ProjectRepository.hpp"

#include "backend/Config.hpp"

#include <exception>

namespace zqb {

std::shared_ptr<Project> ProjectRow::fromRow(const SQLiteRow& row) {
    auto project = Project::fromRow(row);
    if (project && project->configurationJson) {
        try {
            Config::decode(*project->configurationJson);
        } catch (const std::exception&) {
            project->configurationJson.reset();
        }
    }
    return project;
}

ProjectRepository::ProjectRepository(std::shared_ptr<DatabaseProtocol> database,
                                     std::shared_ptr<const host::ClockProtocol> clock)
    : Repository(std::move(database), table), clock_(std::move(clock)) {}

ColumnMap ProjectRepository::prepareContentValues(const Project& project) const {
    const OptionalSQLiteValue configuration =
        project.configurationJson
            ? OptionalSQLiteValue(SQLiteValue(*project.configurationJson))
            : encodeOrDefault(Config::defaulConfiguration(*clock_), Config::defaulConfiguration(*clock_));
    return {{"applicationKey", SQLiteValue(project.applicationKey)},
            {"activeUserId", sqliteOptional(project.activeUserId)},
            {"trackingAvailable", sqliteBool(project.trackingAvailable)},
            {"applicationBundle", sqliteOptional(project.applicationBundle)},
            {"applicationVersion", sqliteOptional(project.applicationVersion)},
            {"applicationBuildVersion", sqliteOptional(project.applicationBuildVersion)},
            {"configuration", configuration},
            {"isReferralSent", sqliteBool(project.isReferralSent)},
            {"savedTime", sqliteOptional(project.savedTime)},
            {"categoriesVersion", sqliteOptional(project.categoriesVersion)},
            {"isMigrated", sqliteBool(project.isMigrated)}};
}

void ProjectRepository::insert(const std::shared_ptr<Project>& project) {
    if (project) {
        insertRecord(project, prepareContentValues(*project));
    }
}

bool ProjectRepository::update(const std::shared_ptr<Project>& project) {
    return project && updateRecord(project, prepareContentValues(*project), false);
}

}  // namespace zqb

#include "model/Project.hpp"

namespace zqb {

std::shared_ptr<Project> Project::fromRow(const SQLiteRow& row) {
    const auto id = rowInteger(row, 0);
    auto applicationKey = rowText(row, 1);
    if (!id || !applicationKey) {
        return nullptr;
    }
    auto project = std::make_shared<Project>(std::move(*applicationKey));
    project->idKey = *id;
    project->activeUserId = rowInteger(row, 2);
    project->trackingAvailable = rowFlag(row, 3);
    project->applicationBundle = rowText(row, 4);
    project->applicationVersion = rowText(row, 5);
    project->applicationBuildVersion = rowText(row, 6);
    project->configurationJson = rowText(row, 7);
    project->isReferralSent = rowFlag(row, 8);
    project->savedTime = rowInteger(row, 9);
    project->categoriesVersion = rowInteger(row, 10);
    project->isMigrated = rowFlag(row, 11);
    return project;
}

}  // namespace zqb

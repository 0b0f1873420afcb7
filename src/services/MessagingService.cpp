#include "services/MessagingService.hpp"

#include "backend/MessagingRequestObject.hpp"
#include "foundation/Logger.hpp"
#include "foundation/SdkConstraints.hpp"

#include <algorithm>
#include <set>

namespace zqb {

MessagingService::MessagingService(std::shared_ptr<StateManagerProtocol> stateManager,
                                   std::shared_ptr<ProjectRepository> projectRepository,
                                   std::shared_ptr<MessagingCategoryRepository> messagingCategoryRepository,
                                   std::shared_ptr<BackendProtocol> backend, QueueManager& incomeQueue,
                                   QueueManager& networkMessagingQueue)
    : stateManager_(std::move(stateManager)),
      projectRepository_(std::move(projectRepository)),
      messagingCategoryRepository_(std::move(messagingCategoryRepository)),
      backend_(std::move(backend)),
      incomeQueue_(incomeQueue),
      networkMessagingQueue_(networkMessagingQueue) {}

void MessagingService::getPushCategories(CategoriesCompletion completion) {
    const auto project = stateManager_->getActiveProject();
    const auto user = stateManager_->getActiveUser();
    const Identifiers identifiers = stateManager_->getIdentifiers(*user);
    const ApplicationData application = stateManager_->getAppData();
    auto stored = messagingCategoryRepository_->list();

    const auto device = stateManager_->getDeviceData();
    if (!device) {
        Logger::writeLog(ZQBLogLevel::error, "Cannot obtain device information!");
        completion(std::move(stored));
        return;
    }
    MessagingRequestObject request;
    request.sdkVersion = stateManager_->getVersion().sdkVersion;  // the version in force
    request.sdkCodeVersion = SdkConstraints::sdkCodeVersion;
    request.appVersion = application.applicationVersion;
    request.categoriesVersion = project->categoriesVersion.value_or(0);
    request.language = device->language;

    networkMessagingQueue_.addOperation([weak = weak_from_this(), completion = std::move(completion),
                                         stored = std::move(stored), project,
                                         applicationKey = project->applicationKey, request, identifiers] {
        const auto self = weak.lock();
        if (!self) {
            completion(stored);
            return;
        }
        Logger::writeLog(ZQBLogLevel::debug,
                         "[Messaging Module] Trying to get push categories from the server");
        const auto config = self->backend_->requestMessagingConfig(applicationKey, request, identifiers);
        if (!config) {
            completion(stored);
            return;
        }
        completion(self->updateSavedConfig(project, *config, stored));
    });
}

std::vector<MessagingCategory> MessagingService::updateSavedConfig(
    const std::shared_ptr<Project>& project, const MessagingConfig& config,
    const std::vector<MessagingCategory>& stored) {
    // Holds the service: the gateway has answered, and a destroy meanwhile must not drop what it gave.
    incomeQueue_.addOperation(
        [self = shared_from_this(), project, config] { self->applyAnswer(project, config); });

    // The counts are those of the answer against the categories the request started from.
    std::set<std::string> known;
    for (const auto& category : stored) {
        known.insert(category.id);
    }
    int64_t added = 0;
    for (const auto& category : config.categories) {
        if (known.insert(category.id).second) {
            ++added;
        }
    }
    int64_t removed = 0;
    if (config.removed) {
        removed = std::count_if(config.removed->begin(), config.removed->end(),
                                [&](const std::string& id) { return known.contains(id); });
    }
    Logger::writeLog(ZQBLogLevel::debug,
                     "[Messaging Module] Update push categories:\n\tsaved new categories: [" +
                         std::to_string(added) + "]\n\tremoved categories [" + std::to_string(removed) +
                         "]\n\tcurrent categories version: [" + std::to_string(config.version) + "]");
    return merge(stored, config);
}

std::vector<MessagingCategory> MessagingService::merge(const std::vector<MessagingCategory>& stored,
                                                       const MessagingConfig& config) {
    std::vector<MessagingCategory> merged = stored;
    for (const auto& category : config.categories) {
        const auto known = std::find_if(merged.begin(), merged.end(), [&](const MessagingCategory& kept) {
            return kept.id == category.id;
        });
        if (known == merged.end()) {
            merged.push_back(category);
        } else {
            known->buttons = category.buttons;
        }
    }
    if (config.removed) {
        const std::set<std::string> removed(config.removed->begin(), config.removed->end());
        std::erase_if(merged, [&](const MessagingCategory& kept) { return removed.contains(kept.id); });
    }
    return merged;
}

void MessagingService::applyAnswer(const std::shared_ptr<Project>& project, const MessagingConfig& config) {
    auto& repository = *messagingCategoryRepository_;
    repository.list();  // loads the table into an empty cache, so that the checks below see every row
    bool everyCategoryStored = true;
    for (const auto& category : config.categories) {
        auto& cache = repository.cache();
        const auto known = std::find_if(cache.begin(), cache.end(), [&](const MessagingCategory& kept) {
            return kept.id == category.id;
        });
        if (known == cache.end()) {
            const auto idKey = repository.database()->insert(
                repository.tableName(), MessagingCategoryRepository::prepareContentValues(category));
            if (idKey) {
                MessagingCategory inserted = category;
                inserted.idKey = *idKey;
                cache.push_back(std::move(inserted));
            } else {
                everyCategoryStored = false;
            }
        } else if (known->buttons != category.buttons) {
            MessagingCategory changed = category;
            changed.idKey = known->idKey;
            const auto written = repository.database()->update(
                repository.tableName(), MessagingCategoryRepository::prepareContentValues(changed), "id=?",
                {SQLiteValue(changed.idKey)});
            if (written) {
                *known = std::move(changed);
            } else {
                everyCategoryStored = false;
            }
        }
    }

    // After the additions, so that a category added and removed by the same answer is gone.
    bool everyRemovalDone = true;
    if (config.removed) {
        const std::set<std::string> removed(config.removed->begin(), config.removed->end());
        std::vector<MessagingCategory> toRemove;
        for (const auto& kept : repository.cache()) {
            if (removed.contains(kept.id)) {
                toRemove.push_back(kept);
            }
        }
        everyRemovalDone = repository.deleteItems(toRemove);
    }

    // The gateway sends only what changed since the version it is given: a version that moved past a
    // category not stored, or not removed, would never bring that change again.
    if (!everyCategoryStored || !everyRemovalDone) {
        const std::string kept = std::to_string(project->categoriesVersion.value_or(0));
        Logger::writeLog(ZQBLogLevel::error,
                         "[Messaging Module] Not every change of the answer is stored: the categories "
                         "version stays [" +
                             kept + "]");
        return;
    }
    project->categoriesVersion = config.version;
    projectRepository_->update(project);
}

}  // namespace zqb

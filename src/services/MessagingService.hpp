#pragma once

#include "backend/Backend.hpp"
#include "backend/MessagingConfig.hpp"
#include "backend/Versions.hpp"
#include "foundation/QueueManager.hpp"
#include "repositories/MessagingCategoryRepository.hpp"
#include "repositories/ProjectRepository.hpp"
#include "services/MessagingServiceProtocol.hpp"
#include "services/StateManagerProtocol.hpp"

#include <memory>
#include <vector>

namespace zqb {

// Asks the gateway for the categories changed since the version the project holds, on the network messaging
// queue. An answer is written back in one income-queue step against the rows stored at that moment (not the
// list the request started from), so that requests in flight together never store a category twice: a known
// category whose buttons changed is replaced, a new one inserted, removals applied after both, and the
// categories version written with the project row, only when every category of the answer was stored and
// every removal done.
// Create with `std::make_shared`.
class MessagingService final : public MessagingServiceProtocol,
                               public std::enable_shared_from_this<MessagingService> {
public:
    MessagingService(std::shared_ptr<StateManagerProtocol> stateManager,
                     std::shared_ptr<ProjectRepository> projectRepository,
                     std::shared_ptr<MessagingCategoryRepository> messagingCategoryRepository,
                     std::shared_ptr<BackendProtocol> backend, QueueManager& incomeQueue,
                     QueueManager& networkMessagingQueue);

    void getPushCategories(CategoriesCompletion completion) override;

    // The categories a caller sees after an answer: the stored ones with changed categories replaced in
    // place, new ones appended (a later duplicate in the answer replaces an earlier), removed ones dropped.
    static std::vector<MessagingCategory> merge(const std::vector<MessagingCategory>& stored,
                                                const MessagingConfig& config);

private:
    // Network messaging queue, with the gateway's answer: queues its writes, logs what it changes against
    // `stored` (the categories the request started from) and gives the merged categories.
    std::vector<MessagingCategory> updateSavedConfig(const std::shared_ptr<Project>& project,
                                                     const MessagingConfig& config,
                                                     const std::vector<MessagingCategory>& stored);
    // Income queue: applies an answer to the stored rows, and its version to the project once every
    // change of the answer is stored.
    void applyAnswer(const std::shared_ptr<Project>& project, const MessagingConfig& config);

    std::shared_ptr<StateManagerProtocol> stateManager_;
    std::shared_ptr<ProjectRepository> projectRepository_;
    std::shared_ptr<MessagingCategoryRepository> messagingCategoryRepository_;
    std::shared_ptr<BackendProtocol> backend_;
    QueueManager& incomeQueue_;
    QueueManager& networkMessagingQueue_;
};

}  // namespace zqb

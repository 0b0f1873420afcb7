#pragma once

#include "model/LevelResource.hpp"
#include "model/User.hpp"
#include "repositories/LevelResourcesRepository.hpp"
#include "services/LevelResourceServiceProtocol.hpp"
#include "services/StateManagerProtocol.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

class LevelResourceService final : public LevelResourceServiceProtocol {
public:
    LevelResourceService(std::shared_ptr<StateManagerProtocol> stateManager,
                         std::shared_ptr<LevelResourcesRepository> levelResourcesRepository);

    void addLevelResource(const LevelResource& resource) override;
    std::optional<LevelResourceSums> getSpentResources() override;
    std::optional<LevelResourceSums> getEarnedResources() override;
    std::optional<LevelResourceSums> getBoughtResources() override;
    bool removeResourcesForActiveUser() override;
    void removeAllResources() override;
    void removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) override;

private:
    std::vector<LevelResource> rowsOf(int64_t userIdKey);
    std::optional<LevelResourceSums> getResources(LevelResourceType type);

    std::shared_ptr<StateManagerProtocol> stateManager_;
    std::shared_ptr<LevelResourcesRepository> repository_;
};

}  // namespace zqb

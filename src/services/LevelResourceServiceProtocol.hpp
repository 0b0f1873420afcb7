#pragma once

#include "model/LevelResource.hpp"
#include "model/User.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// Resource name -> summed amount, as the level-up event reports them.
using LevelResourceSums = std::map<std::string, int64_t>;

// Sums what the active user earned, bought and spent on the current level until the level-up event reports
// it. Income queue only.
class LevelResourceServiceProtocol {
public:
    virtual ~LevelResourceServiceProtocol() = default;

    // Adds the amount to the active user's row of the same name and type, or stores a new row. Nothing
    // while tracking is off or the user's resource aggregation is switched off.
    virtual void addLevelResource(const LevelResource& resource) = 0;
    // The active user's sums of one type; nothing when there are none.
    virtual std::optional<LevelResourceSums> getSpentResources() = 0;
    virtual std::optional<LevelResourceSums> getEarnedResources() = 0;
    virtual std::optional<LevelResourceSums> getBoughtResources() = 0;
    // Deletes the active user's rows, reported or dropped with the level they were gathered on. Whether they
    // are gone: rows that stay are reported by a later level-up, and must not have been reported already.
    virtual bool removeResourcesForActiveUser() = 0;
    virtual void removeAllResources() = 0;
    virtual void removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) = 0;
};

}  // namespace zqb

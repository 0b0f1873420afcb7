#pragma once

#include "model/Project.hpp"

#include <memory>

namespace zqb {

// The one-time move of what an earlier generation of the library left on the device. The state manager
// calls it once per start, on the income queue, after the project and its device identifiers are settled
// and before the active user is chosen.
class SDKMigrationManagerProtocol {
public:
    virtual ~SDKMigrationManagerProtocol() = default;

    // Does nothing for a project already migrated; never fails (a failure leaves the rows as they were).
    virtual void migrate(const std::shared_ptr<Project>& project) = 0;
};

}  // namespace zqb

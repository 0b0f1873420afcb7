#pragma once

#include "migration/SDKMigrationManagerProtocol.hpp"

namespace zqb {

// A migration that finds no legacy data and changes nothing, so the project stays unmigrated: for tests of
// the start-up around the migration, which must not depend on the files of the application-support folder.
class NoLegacyDataMigration final : public SDKMigrationManagerProtocol {
public:
    void migrate(const std::shared_ptr<Project>&) override {}
};

}  // namespace zqb

#pragma once

#include "migration/SDKMigrationManagerProtocol.hpp"

namespace zqb {

// The migration used until the legacy readers exist: it finds no legacy data and changes nothing, so the
// project stays unmigrated and a later migration still gets its chance.
class NoLegacyDataMigration final : public SDKMigrationManagerProtocol {
public:
    void migrate(const std::shared_ptr<Project>&) override {}
};

}  // namespace zqb

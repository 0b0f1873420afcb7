#include "support/SharedDatabase.hpp"

#include "host/Environment.hpp"

namespace zqb::test {

SQLiteProvider openDatabase() {
    const auto& environment = host::Environment::shared();
    return SQLiteProvider(*environment.files(), *environment.clock());
}

std::shared_ptr<SQLiteProvider> sharedDatabase() {
    const auto& environment = host::Environment::shared();
    return std::make_shared<SQLiteProvider>(*environment.files(), *environment.clock());
}

std::shared_ptr<const host::ClockProtocol> environmentClock() {
    return host::Environment::shared().clock();
}

std::optional<std::filesystem::path> databaseFolder() {
    return SQLiteProvider::folderPath(*host::Environment::shared().files());
}

}  // namespace zqb::test

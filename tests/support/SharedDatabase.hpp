#pragma once

#include "database/SQLiteProvider.hpp"
#include "host/Clock.hpp"

#include <filesystem>
#include <memory>
#include <optional>

namespace zqb::test {

// The library's database as the core graph opens it, over the files and clock of the process-wide
// environment (those a ScopedEnvironment installs): a second connection on the graph's file, or a provider
// of the test's own.
SQLiteProvider openDatabase();
std::shared_ptr<SQLiteProvider> sharedDatabase();
// The process-wide environment's clock, as the core graph hands it down.
std::shared_ptr<const host::ClockProtocol> environmentClock();
// The data folder in the process-wide environment's application-support directory, if it has one.
std::optional<std::filesystem::path> databaseFolder();

}  // namespace zqb::test

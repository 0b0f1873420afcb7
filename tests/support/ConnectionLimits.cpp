#include "support/ConnectionLimits.hpp"

#include <sqlite3.h>

#include <stdexcept>

namespace zqb::test {
namespace {

// Read by SQLite's opening of a connection, on whichever thread opens it; set only while no extension is
// registered.
std::vector<std::pair<int, int>>& appliedLimits() {
    static std::vector<std::pair<int, int>> limits;
    return limits;
}

int applyLimits(sqlite3* connection, char** /*error*/, const void* /*routines*/) {
    for (const auto& [category, value] : appliedLimits()) {
        sqlite3_limit(connection, category, value);
    }
    return SQLITE_OK;
}

// SQLite takes every extension's entry point as this type and calls it with its own arguments.
auto entryPoint() {
    return reinterpret_cast<void (*)()>(&applyLimits);
}

}  // namespace

ConnectionLimits::ConnectionLimits(std::vector<std::pair<int, int>> limits) {
    appliedLimits() = std::move(limits);
    if (sqlite3_auto_extension(entryPoint()) != SQLITE_OK) {
        throw std::runtime_error("cannot register the limits extension");
    }
}

ConnectionLimits::~ConnectionLimits() {
    sqlite3_cancel_auto_extension(entryPoint());
    appliedLimits().clear();
}

}  // namespace zqb::test

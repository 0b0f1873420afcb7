#pragma once

// What more than one of the sources of `SQLiteProvider` uses; private to the provider.

#include "database/SQLiteError.hpp"
#include "database/SQLiteValue.hpp"

#include <array>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace zqb::provider_support {

// A file that opened but cannot serve this library; `label` says why in the name it is moved aside under.
class UnusableFile : public std::runtime_error {
public:
    UnusableFile(const std::string& reason, std::string label)
        : std::runtime_error(reason), label(std::move(label)) {}
    std::string label;
};

// The journal, log and index SQLite keeps beside a database file, by the suffixes of their names.
inline constexpr std::array<const char*, 3> kCompanions{"-journal", "-wal", "-shm"};

// The write-ahead log SQLite keeps beside a database file.
inline std::filesystem::path logOf(const std::filesystem::path& file) {
    return file.string() + kCompanions[1];
}

// Selection arguments as the values a statement binds.
inline std::vector<OptionalSQLiteValue> arguments(const std::vector<SQLiteValue>& values) {
    return std::vector<OptionalSQLiteValue>(values.begin(), values.end());
}

// Runs the work of a member of `DatabaseProtocol`, which never throws: whatever fails in it, an allocation
// included, is logged under `failurePrefix` and ends the work there. Whether the work ran to its end.
template <typename Work>
bool runGuarded(const char* failurePrefix, Work&& work) noexcept {
    try {
        std::forward<Work>(work)();
        return true;
    } catch (const std::exception& error) {
        logDatabaseError(failurePrefix, error);
    } catch (...) {
        logDatabaseError(failurePrefix, "unknown error");
    }
    return false;
}

}  // namespace zqb::provider_support

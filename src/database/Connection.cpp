#include "database/Connection.hpp"

#include "database/SQLiteError.hpp"
#include "foundation/Logger.hpp"
#include "host/AtomicFile.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <thread>

namespace zqb {

Connection::Connection(const std::string& path, bool announce) : connection_(open(path, announce)) {
    sqlite3_busy_handler(connection_, &Connection::waitForLock, nullptr);
}

int Connection::waitForLock(void* /*context*/, int attempt) {
    // A lock another connection holds at start-up (an index it rebuilds, a read it begins) is usually let
    // go within a fraction of a millisecond: SQLite's own waits start at 1 ms, then 2, 5 and 10.
    const auto delay = lockWait(attempt);
    if (!delay) {
        return 0;
    }
    std::this_thread::sleep_for(*delay);
    return 1;
}

std::optional<std::chrono::microseconds> Connection::lockWait(int attempt) {
    using std::chrono::microseconds;
    // Short steps first, then longer ones, up to the time-out in all.
    constexpr int shortSteps = 20;
    constexpr microseconds shortStep{100};
    constexpr int mediumSteps = 20;
    constexpr microseconds mediumStep{1000};
    constexpr microseconds longStep{10000};
    constexpr microseconds limit{busyTimeoutMilliseconds * 1000};
    microseconds waited{0};
    microseconds next = shortStep;
    if (attempt < shortSteps) {
        waited = shortStep * attempt;
    } else if (attempt < shortSteps + mediumSteps) {
        waited = shortStep * shortSteps + mediumStep * (attempt - shortSteps);
        next = mediumStep;
    } else {
        waited = shortStep * shortSteps + mediumStep * mediumSteps +
                 longStep * (attempt - shortSteps - mediumSteps);
        next = longStep;
    }
    if (waited >= limit) {
        return std::nullopt;
    }
    return std::min(next, limit - waited);
}

Connection::~Connection() {
    if (connection_ != nullptr) {
        close(connection_);
    }
}

void Connection::closeNow() {
    serialized([&] {
        if (connection_ != nullptr) {
            close(std::exchange(connection_, nullptr));
        }
    });
}

sqlite3* Connection::open(const std::string& path, bool announce) {
    // The host's SQLite may be older than the one the library was built with.
    if (sqlite3_libversion_number() < oldestSQLiteVersion) {
        throw SQLiteError("SQLite error", SQLITE_ERROR, std::nullopt,
                          std::string("SQLite ") + sqlite3_libversion() + " is older than " +
                              oldestSQLiteVersionText + ", the oldest this library works with");
    }
    // SQLite would create a missing file with a mode that lets other users read it (its journal, log and
    // index then take the file's mode). Made here first, private; a failure is SQLite's to report.
    if (!path.empty() && path != ":memory:") {
        host::AtomicFile::createFile(path, host::kPrivateFileMode);
    }
    sqlite3* handle = nullptr;
    const int result =
        sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (result == SQLITE_OK && handle != nullptr) {
        if (!announce) {
            return handle;
        }
        Logger::writeLog(ZQBLogLevel::debug,
                         "[Database Module] Successfully opened connection to database at " + path);
        return handle;
    }
    const int code = result == SQLITE_OK ? SQLITE_INTERNAL : result;
    std::string reason = handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(code);
    // A failed open may still hand out a handle that must be released.
    sqlite3_close(handle);
    throw SQLiteError("SQLite error", code, std::nullopt, std::move(reason));
}

void Connection::close(sqlite3* connection) {
    // close_v2 defers the release until the last statement of the connection is finalized.
    if (sqlite3_close_v2(connection) != SQLITE_OK) {
        Logger::writeLog(ZQBLogLevel::error, std::string("[Database Module] Couldn't close database: ") +
                                                 sqlite3_errmsg(connection));
    }
}

void Connection::execute(const std::string& sql) {
    serialized([&] {
        const int result = sqlite3_exec(connection_, sql.c_str(), nullptr, nullptr, nullptr);
        if (!SQLiteError::isSuccessCode(result)) {
            throw SQLiteError(sqlite3_errmsg(connection_), result);
        }
    });
}

int64_t Connection::lastInsertRowId() const {
    return sqlite3_last_insert_rowid(connection_);
}

int64_t Connection::changes() const {
    // Not the 64-bit count: that call is newer than the oldest SQLite the library works with, and a host's
    // older one would refuse to load the library at all. No statement of the library changes 2^31 rows.
    return sqlite3_changes(connection_);
}

std::string Connection::errorMessage() const {
    return sqlite3_errmsg(connection_);
}

}  // namespace zqb

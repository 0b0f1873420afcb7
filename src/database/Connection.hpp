#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

struct sqlite3;

namespace zqb {

// One open SQLite database file. Every execution of SQL on it runs under the connection's own
// serialisation, so that statements from the library's several queues never interleave; a call made while
// the same thread already holds it runs directly, so nested use cannot wait on itself.
class Connection {
public:
    // Opens (creating when missing, readable by this user alone) the file at `path`; throws `SQLiteError`
    // when it cannot be opened.
    // `announce` logs the opening: off for a file that is not the library's database yet.
    explicit Connection(const std::string& path, bool announce = true);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Null once `closeNow` has run.
    sqlite3* handle() const { return connection_; }

    // Closes the file now rather than at the release, under the serialisation, for an owner that must let
    // the file go while others may still hold the connection. Nothing may run on it afterwards.
    void closeNow();

    // Runs a whole text, which may hold several statements separated by semicolons.
    void execute(const std::string& sql);

    // Runs `work` under the connection's serialisation and hands back its result or exception. A whole
    // operation (prepare, bind, step, then last insert row id or change count) belongs in one call, so that
    // another thread's statement cannot slip in between and change what the operation reads back.
    template <typename Work>
    decltype(auto) serialized(Work&& work) {
        std::lock_guard lock(mutex_);
        return std::forward<Work>(work)();
    }

    // Valid inside `serialized`, for the statement that just ran.
    int64_t lastInsertRowId() const;
    int64_t changes() const;
    std::string errorMessage() const;

    // The oldest SQLite the library works with (`sqlite3_libversion_number`): the schema is read through
    // the table-valued pragma functions, and a damaged file keeps its log at the close
    // (SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE), only from this version on. Opening fails with an older one.
    static constexpr int oldestSQLiteVersion = 3016000;
    static constexpr const char* oldestSQLiteVersionText = "3.16.0";

    // Time a statement waits on a lock held by another process before failing with SQLITE_BUSY.
    static constexpr int busyTimeoutMilliseconds = 5000;
    // How long to wait before trying a lock again after `attempt` tries, none once the time-out is spent.
    static std::optional<std::chrono::microseconds> lockWait(int attempt);

private:
    static sqlite3* open(const std::string& path, bool announce);
    static void close(sqlite3* connection);
    // SQLite's busy handler: waits `lockWait` and asks for another try, or gives up.
    static int waitForLock(void* context, int attempt);

    sqlite3* connection_ = nullptr;
    std::recursive_mutex mutex_;
};

}  // namespace zqb

#include "database/SQLiteProvider.hpp"

#include "database/Connection.hpp"
#include "database/RowSalvage.hpp"
#include "database/SQLiteContracts.hpp"
#include "database/SQLiteError.hpp"
#include "database/SchemaRepair.hpp"
#include "database/Statement.hpp"
#include "foundation/Logger.hpp"
#include "host/AtomicFile.hpp"
#include "host/Environment.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <system_error>

namespace zqb {
namespace {

std::vector<OptionalSQLiteValue> arguments(const std::vector<SQLiteValue>& values) {
    return std::vector<OptionalSQLiteValue>(values.begin(), values.end());
}

std::string placeholders(std::size_t count) {
    std::string text;
    text.reserve(count * 3);
    for (std::size_t index = 0; index < count; ++index) {
        text += index == 0 ? "?" : ", ?";
    }
    return text;
}

// A file that opened but cannot serve this library; `label` says why in the name it is moved aside under.
class UnusableFile : public std::runtime_error {
public:
    UnusableFile(const std::string& reason, std::string label)
        : std::runtime_error(reason), label(std::move(label)) {}
    std::string label;
};

// The journal, log and index SQLite keeps beside a database file, by the suffixes of their names.
constexpr std::array<const char*, 3> kCompanions{"-journal", "-wal", "-shm"};

void removeCompanions(const std::filesystem::path& file) {
    std::error_code missing;
    for (const char* suffix : kCompanions) {
        std::filesystem::remove(file.string() + suffix, missing);
    }
}

// A database file and its companions.
void removeDatabaseFiles(const std::filesystem::path& file) {
    std::error_code missing;
    std::filesystem::remove(file, missing);
    removeCompanions(file);
}

std::filesystem::path logOf(const std::filesystem::path& file) {
    return file.string() + kCompanions[1];
}

// Gives `from` the name `to` unless a file has that name already (false then). Where the file system cannot
// refuse to replace, the name is checked first instead.
bool renameUnlessTaken(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    const int reason = errno;
    if (reason == EEXIST) {
        return false;
    }
    if (reason != EINVAL && reason != ENOSYS) {
        throw std::filesystem::filesystem_error("cannot put the new database in place", from, to,
                                                std::error_code(reason, std::generic_category()));
    }
    if (std::filesystem::exists(to)) {
        return false;
    }
    std::filesystem::rename(from, to);
    return true;
}

// The system's reason why this process cannot write the file, or in the folder, at `path`, if it cannot;
// nothing for a missing file whose folder may be written.
std::optional<std::string> writeRefusal(const std::filesystem::path& path, bool folder) {
    const auto reason = [](int code) { return std::error_code(code, std::generic_category()).message(); };
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? std::nullopt : std::optional(reason(errno));
    }
    if (S_ISDIR(info.st_mode) != folder) {
        return reason(folder ? ENOTDIR : EISDIR);
    }
    if (::faccessat(AT_FDCWD, path.c_str(), folder ? W_OK | X_OK : R_OK | W_OK, AT_EACCESS) != 0) {
        return reason(errno);
    }
    return std::nullopt;
}

void rollbackQuietly(Connection& connection) {
    try {
        connection.execute("ROLLBACK");
    } catch (const std::exception&) {
    }
}

}  // namespace

std::optional<std::filesystem::path> SQLiteProvider::folderPath() {
    const std::filesystem::path support = host::Environment::shared().files()->applicationSupportDirectory();
    if (support.empty()) {
        return std::nullopt;
    }
    return support / folderName;
}

// Whatever fails here is reported by the handler at the end, which names the file or folder and the reason.
SQLiteProvider::SQLiteProvider(const std::string& /*applicationKey*/) try {
    const auto folder = folderPath();
    if (!folder) {
        throw SQLiteError("SQLite error", SQLITE_ERROR);
    }
    std::error_code ignored;
    if (!std::filesystem::exists(*folder, ignored)) {
        Logger::writeLog(ZQBLogLevel::debug, "[Database Module] It's a clean launch of the SDK");
        createFolder(*folder);
    } else {
        Logger::writeLog(ZQBLogLevel::debug, "[Database Module] Trying to load database");
        keepPrivate(*folder);
        removeUnfinishedCreations(*folder);
    }
    const std::filesystem::path file = *folder / fileName;
    try {
        openOrCreate(file);
    } catch (const UnusableFile& unusable) {
        // Left in place, the file would keep every later launch from recording anything.
        close();
        moveAside(file, unusable.what(), unusable.label);
        openOrCreate(file);
        carryReadableRows(file);
    }
} catch (const std::exception& error) {
    reportOpeningFailure(error);
    // The handler of a constructor's try block passes the exception on.
}

void SQLiteProvider::createFolder(const std::filesystem::path& folder) {
    std::error_code error;
    if (!host::AtomicFile::ensureDirectory(folder, host::kPrivateFolderMode, &error)) {
        throw std::filesystem::filesystem_error("cannot create the data folder", folder, error);
    }
}

void SQLiteProvider::keepPrivate(const std::filesystem::path& folder) {
    // Earlier versions left the folder and the database open to other users.
    host::AtomicFile::restrictMode(folder, host::kPrivateFolderMode);
    const std::filesystem::path file = folder / fileName;
    host::AtomicFile::restrictMode(file, host::kPrivateFileMode);
    for (const char* suffix : kCompanions) {
        host::AtomicFile::restrictMode(file.string() + suffix, host::kPrivateFileMode);
    }
}

void SQLiteProvider::reportOpeningFailure(const std::exception& error) {
    const auto folder = folderPath();
    if (!folder) {
        // No application-support directory: the files stand-in said why.
        return;
    }
    const std::filesystem::path file = *folder / fileName;
    const auto* refused = dynamic_cast<const std::filesystem::filesystem_error*>(&error);
    std::string line;
    if (refused != nullptr && refused->path1() == *folder) {
        line = "Cannot create the data folder " + folder->string() + ": " + refused->code().message();
    } else if (const auto reason = writeRefusal(file, false)) {
        line = "Cannot open the database " + file.string() + ": " + *reason;
    } else if (const auto folderReason = writeRefusal(*folder, true)) {
        // The file may be written, but not the journal, log and index SQLite keeps beside it.
        line = "Cannot write in the data folder " + folder->string() + ": " + *folderReason;
    } else {
        line = "Cannot open the database " + file.string() + ": " + error.what();
    }
    Logger::writeLog(ZQBLogLevel::error, "[Database Module] " + line);
}

SQLiteProvider::~SQLiteProvider() {
    // A group still open (its commit was posted behind the operation releasing the provider) is committed,
    // not dropped with the connection.
    if (database_ && group_) {
        database_->serialized([&] { group_->close(); });
    }
}

void SQLiteProvider::openOrCreate(const std::filesystem::path& file) {
    std::error_code unknown;
    if (!std::filesystem::exists(file, unknown) && !unknown) {
        create(file);
    }
    open(file);
}

void SQLiteProvider::create(const std::filesystem::path& file) {
    const std::filesystem::path building = file.string() + creationSuffix + std::to_string(::getpid());
    removeDatabaseFiles(building);
    try {
        {
            Connection connection(building.string(), false);
            // Built in place, the file would wait for the disk before the first event is stored (the switch
            // to the write-ahead log alone syncs a journal, the folder and the file). Under its own name
            // nothing needs the disk before the file is complete: no journal, no sync, and a crash leaves
            // only this file behind, removed at the next start. Nothing else opens it, so its locks are
            // taken once and its log needs no shared index.
            connection.execute(
                "PRAGMA locking_mode=EXCLUSIVE; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN "
                "IMMEDIATE");
            for (const auto& step : SQLiteContracts::map()) {
                runStep(connection, step);
            }
            const std::string version =
                "PRAGMA user_version = " + std::to_string(SQLiteContracts::currentVersion);
            connection.execute(version + "; COMMIT");
            // Switched here, where it costs no sync: the opening then finds the file in the mode it wants.
            connection.execute("PRAGMA journal_mode=WAL");
            // A log that starts empty has its header written and synced, with the folder, by the first
            // commit: the first event would wait for the disk twice. Here that costs nothing, so the log is
            // started now and kept: one committed frame (the version again), which the closing copies into
            // the file. The opening reads that frame back and the first commit only appends to it.
            int keep = 1;
            sqlite3_file_control(connection.handle(), "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
            connection.execute(version);
        }
        // The file's content reaches the disk before its name does, so the name never stands for less. Its
        // log holds nothing the file does not: whether it reaches the disk or not, the file reads the same.
        if (!host::AtomicFile::sync(building)) {
            throw SQLiteError("disk I/O error", SQLITE_IOERR_FSYNC);
        }
        // A journal, log or index under the final name without its file belongs to no file (a start cut
        // short while a damaged file was moved aside, files removed by hand): SQLite would read it into the
        // new one.
        removeCompanions(file);
        if (!renameUnlessTaken(building, file)) {
            // Another process created the file meanwhile: its file is the one to open.
            removeDatabaseFiles(building);
            return;
        }
        // The log follows the file it belongs to, never ahead of it. Another process that opened the file
        // meanwhile has a log of its own, which stays; ours is then dropped, which only costs the first
        // commit its syncs.
        try {
            renameUnlessTaken(logOf(building), logOf(file));
        } catch (const std::filesystem::filesystem_error&) {
        }
    } catch (...) {
        removeDatabaseFiles(building);
        throw;
    }
    // A log that could not follow is removed. The folder is not synced for the new names: SQLite syncs it
    // with the log's first sync, and until then the commits themselves are not on the disk either (the log
    // is synced at its checkpoints only).
    removeDatabaseFiles(building);
}

void SQLiteProvider::removeUnfinishedCreations(const std::filesystem::path& folder) {
    const std::string prefix = std::string(fileName) + creationSuffix;
    std::vector<std::filesystem::path> leftovers;
    std::error_code error;
    try {
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(prefix, 0) != 0) {
                continue;
            }
            // The id of the process that built it, followed by the suffix of a journal or log, if any.
            const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
            // A creation still under way in another process is left to it.
            if (pid > 0 && pid != ::getpid() && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) {
                continue;
            }
            leftovers.push_back(entry.path());
        }
    } catch (const std::filesystem::filesystem_error&) {
        // A folder that cannot be listed is met again, with its own error, when the file is opened.
    }
    for (const auto& leftover : leftovers) {
        std::filesystem::remove(leftover, error);
    }
}

void SQLiteProvider::open(const std::filesystem::path& file) {
    database_ = std::make_unique<Connection>(file.string());
    group_ =
        std::make_unique<WriteGroup>(*database_, [this](const WriteGroup::Replay& kept) { replay(kept); });
    try {
        configure();
        migrate();
    } catch (const SQLiteError& error) {
        const int code = error.code() & 0xff;
        if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT) {
            throw UnusableFile(error.what(), "damaged");
        }
        throw;
    }
}

void SQLiteProvider::close() {
    if (database_) {
        // A damaged file keeps its write-ahead log as it is: it goes aside with it, unmerged.
        sqlite3_db_config(database_->handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
    group_.reset();
    keptStatements_.clear();
    database_.reset();
}

void SQLiteProvider::moveAside(const std::filesystem::path& file, const std::string& reason,
                               const std::string& label) {
    const int64_t now = host::millisecondsSince1970(*host::Environment::shared().clock());
    const std::time_t seconds = static_cast<std::time_t>(now / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    const std::string base = file.string() + "." + label + "-" + stamp;
    std::filesystem::path moved = base;
    for (int attempt = 2; std::filesystem::exists(moved) || std::filesystem::exists(logOf(moved));
         ++attempt) {
        moved = base + "-" + std::to_string(attempt);
    }
    std::filesystem::rename(file, moved);
    for (const char* companion : kCompanions) {
        const std::filesystem::path from = file.string() + companion;
        std::error_code missing;
        if (std::filesystem::exists(from, missing)) {
            std::filesystem::rename(from, moved.string() + companion);
        }
    }
    movedAside_ = moved;
    // Opening fails on the first statements that read the file: its failure is logged as a query's.
    Logger::writeLog(ZQBLogLevel::error, std::string("[Database Module] ") + kQueryFailure + reason +
                                             "; the file " + file.string() + " was moved to " +
                                             moved.string() + " and a new database was created");
}

void SQLiteProvider::groupWritesOn(WriterQueue queue) {
    const std::weak_ptr<SQLiteProvider> weak = weak_from_this();
    if (weak.expired() || !queue.isCurrent || !queue.post) {
        return;
    }
    WriteGroup::Schedule schedule;
    schedule.onWriterQueue = std::move(queue.isCurrent);
    schedule.post = [weak, post = std::move(queue.post)](WriteGroup::Event event) {
        post([weak, event] {
            if (const auto self = weak.lock()) {
                self->handleGroupEvent(event);
            }
        });
    };
    if (queue.runAfter) {
        schedule.runAfter = [weak, runAfter = std::move(queue.runAfter)](int64_t delayMs,
                                                                         WriteGroup::Event event) {
            runAfter(delayMs, [weak, event] {
                if (const auto self = weak.lock()) {
                    self->handleGroupEvent(event);
                }
            });
        };
    }
    if (queue.now) {
        schedule.now = std::move(queue.now);
    }
    schedule.windowMilliseconds = queue.windowMilliseconds;
    database_->serialized([&] { group_->setSchedule(std::move(schedule)); });
}

void SQLiteProvider::handleGroupEvent(WriteGroup::Event event) {
    database_->serialized([&] { group_->handle(event); });
}

template <typename Work>
auto SQLiteProvider::write(Work&& work) -> decltype(work()) {
    return database_->serialized([&] {
        group_->beforeWrite();
        const std::size_t before = group_->recorded();
        try {
            auto result = work();
            group_->afterWrite();
            return result;
        } catch (...) {
            group_->failedWrite(before);
            throw;
        }
    });
}

void SQLiteProvider::runKept(const std::string& sql, std::vector<OptionalSQLiteValue> values,
                             const char* failurePrefix) {
    Statement(*database_, sql, values).run();
    if (group_->isOpen()) {
        group_->record({std::make_shared<const std::string>(sql), std::move(values), failurePrefix, false});
    }
}

std::shared_ptr<const std::string> SQLiteProvider::replayText(const std::string& sql) {
    auto& text = replayTexts_[sql];
    if (!text) {
        text = std::make_shared<const std::string>(sql);
    }
    return text;
}

void SQLiteProvider::replay(const WriteGroup::Replay& kept) {
    if (kept.reused) {
        runWithKeptStatement(*kept.sql, kept.values);
    } else {
        Statement(*database_, *kept.sql, kept.values).run();
    }
}

void SQLiteProvider::configure() {
    // One autocommit write per stored event: WAL with NORMAL sync makes those about thirty times cheaper and
    // still never corrupts the file; a power cut may only lose the last commits. These are also the first
    // statements to read the file, so a file that is not a database fails here. The level comes first: on a
    // new file the switch to WAL is itself a write, and at the default level it costs one sync more.
    database_->execute("PRAGMA synchronous=NORMAL");
    database_->execute("PRAGMA journal_mode=WAL");
    // A group's changes stay in memory until its COMMIT: no statement inside it fails for lack of space,
    // and a full disk costs at most the commit, which is then tried again.
    database_->execute("PRAGMA cache_spill=OFF");
    // A file opened read-only (its mode, or a read-only file system) would refuse every write later on.
    if (sqlite3_db_readonly(database_->handle(), "main") == 1) {
        throw SQLiteError("attempt to write a readonly database", SQLITE_READONLY);
    }
}

int SQLiteProvider::getSchemeVersion() {
    try {
        Statement statement(*database_, "PRAGMA user_version");
        statement.reset();
        while (statement.step()) {
            if (const auto version = rowInteger(statement.cursor().row(), 0)) {
                return static_cast<int>(*version);
            }
        }
    } catch (const std::exception&) {
    }
    return 0;
}

void SQLiteProvider::updateSchemeVersion(int version) {
    database_->execute("PRAGMA user_version = " + std::to_string(version));
}

void SQLiteProvider::migrate() {
    database_->serialized([&] {
        const int version = getSchemeVersion();
        if (version == SQLiteContracts::currentVersion) {
            repairSchema(true);
            return;
        }
        if (version == 2) {
            updateSchemeVersion(SQLiteContracts::currentVersion);
            repairSchema(false);
            return;
        }
        if (version > 2) {
            // A layout this library does not know: its rows cannot be read by position. It goes aside whole
            // rather than be written into.
            throw UnusableFile("Unsupported database version " + std::to_string(version),
                               "unsupported-version-" + std::to_string(version));
        }
        // All steps and the version in one transaction: a launch interrupted half-way leaves the file as it
        // was, and the next launch starts over.
        database_->execute("BEGIN IMMEDIATE");
        try {
            for (const auto& step : SQLiteContracts::map()) {
                runStep(*database_, step);
            }
            updateSchemeVersion(SQLiteContracts::currentVersion);
            database_->execute("COMMIT");
        } catch (const SQLiteError& error) {
            rollbackQuietly(*database_);
            // A step that the file's own schema refuses (a name taken by something else) would fail at every
            // launch; a step that failed for want of space or a lock may pass next time.
            if ((error.code() & 0xff) == SQLITE_ERROR) {
                throw UnusableFile(error.what(), "damaged");
            }
            throw;
        } catch (...) {
            rollbackQuietly(*database_);
            throw;
        }
        repairSchema(true);
    });
}

void SQLiteProvider::runStep(Connection& connection, const std::vector<std::string>& statements) {
    static constexpr std::string_view alter = "ALTER TABLE ";
    static constexpr std::string_view addColumn = " ADD COLUMN ";
    for (const auto& statement : statements) {
        // A column is added only when missing, so that a file that already has it still opens.
        if (statement.rfind(alter, 0) == 0) {
            const auto add = statement.find(addColumn);
            if (add != std::string::npos) {
                const std::string table = statement.substr(alter.size(), add - alter.size());
                const auto columnStart = add + addColumn.size();
                const std::string column =
                    statement.substr(columnStart, statement.find(' ', columnStart) - columnStart);
                if (hasColumn(connection, table, column)) {
                    continue;
                }
            }
        }
        connection.execute(statement);
    }
}

std::vector<std::string> SQLiteProvider::columnsOf(Connection& connection, const std::string& table) {
    std::vector<std::string> columns;
    Statement statement(connection, "PRAGMA table_info(" + table + ")");
    while (statement.step()) {
        if (auto name = statement.cursor()[1]) {
            columns.push_back(std::move(*name));
        }
    }
    return columns;
}

bool SQLiteProvider::hasColumn(Connection& connection, const std::string& table, const std::string& column) {
    const auto columns = columnsOf(connection, table);
    return std::find(columns.begin(), columns.end(), column) != columns.end();
}

void SQLiteProvider::repairSchema(bool everyTable) {
    // Rows are read by column position: a table whose leading columns differ from this library's would be
    // read wrongly or refuse every write. What only lacks a table or trailing columns is mended in place, so
    // that the file keeps its users, flags, events and reports; columns after the schema's are left alone.
    std::vector<SchemaRepair::Step> steps;
    try {
        steps = SchemaRepair::plan(*database_, everyTable);
    } catch (const SchemaRepair::Unrepairable& unrepairable) {
        throw UnusableFile(unrepairable.what(), "damaged");
    }
    if (steps.empty()) {
        return;
    }
    database_->execute("BEGIN IMMEDIATE");
    try {
        for (const auto& step : steps) {
            database_->execute(step.sql);
        }
        database_->execute("COMMIT");
    } catch (const SQLiteError& error) {
        rollbackQuietly(*database_);
        if ((error.code() & 0xff) == SQLITE_ERROR) {
            throw UnusableFile(error.what(), "damaged");
        }
        throw;
    }
    const std::string file = sqlite3_db_filename(database_->handle(), "main");
    for (const auto& step : steps) {
        Logger::writeLog(ZQBLogLevel::warning,
                         step.column.empty()
                             ? "[Database Module] The table " + step.table +
                                   " was missing from the database " + file + "; it was created"
                             : "[Database Module] The column " + step.column +
                                   " was missing from the table " + step.table + " of the database " + file +
                                   "; it was added with its default");
    }
}

void SQLiteProvider::carryReadableRows(const std::filesystem::path& file) {
    if (!movedAside_) {
        return;
    }
    const auto outcome = RowSalvage::carry(*movedAside_, *database_);
    std::string counts;
    for (const auto& [table, count] : outcome.carried) {
        counts += (counts.empty() ? "" : ", ") + table + " " + std::to_string(count);
    }
    Logger::writeLog(ZQBLogLevel::warning,
                     "[Database Module] The rows that could still be read were carried from " +
                         movedAside_->string() + " into " + file.string() + ": " + counts +
                         (outcome.stoppedBy.empty() ? "" : "; reading stopped: " + outcome.stoppedBy));
}

std::optional<int64_t> SQLiteProvider::insert(const std::string& tableName, const ColumnMap& content) {
    std::string names;
    std::vector<OptionalSQLiteValue> values;
    values.reserve(content.size() + 1);
    bool hasId = false;
    for (const auto& [name, value] : content) {
        names += names.empty() ? name : ", " + name;
        values.push_back(value);
        hasId = hasId || name == "id";
    }
    const std::string sql =
        "INSERT INTO " + tableName + " (" + names + ") VALUES(" + placeholders(content.size()) + ")";
    try {
        return write([&] {
            runWithKeptStatement(sql, values);
            const int64_t rowId = database_->lastInsertRowId();
            if (group_->isOpen()) {
                // Repeated with the row id it was given, so that a repeat never hands out another.
                auto& text = replayTexts_[sql];
                if (!text) {
                    text = std::make_shared<const std::string>(
                        hasId ? sql
                              : "INSERT INTO " + tableName + " (" + names + (names.empty() ? "" : ", ") +
                                    "id) VALUES(" + placeholders(content.size() + 1) + ")");
                }
                if (!hasId) {
                    values.emplace_back(SQLiteValue(rowId));
                }
                group_->record({text, std::move(values), kInsertFailure, true});
            }
            return rowId;
        });
    } catch (const std::exception& error) {
        logDatabaseError(kInsertFailure, error);
        return std::nullopt;
    }
}

void SQLiteProvider::runWithKeptStatement(const std::string& sql,
                                          const std::vector<OptionalSQLiteValue>& values) {
    auto kept = keptStatements_.find(sql);
    if (kept == keptStatements_.end()) {
        kept = keptStatements_.emplace(sql, std::make_unique<Statement>(*database_, sql)).first;
    }
    try {
        kept->second->run(values);
        kept->second->clearBindings();
        return;
    } catch (const SQLiteError& error) {
        keptStatements_.erase(kept);
        // A kept statement that SQLite could not prepare again (its table was changed or dropped under
        // it) fails with another message than a fresh one: the fresh one decides, as if nothing were kept.
        // Other failures are those a fresh statement meets in the same step.
        if (error.code() != SQLITE_ERROR && error.code() != SQLITE_SCHEMA) {
            throw;
        }
    }
    Statement(*database_, sql, values).run();
}

std::optional<int64_t> SQLiteProvider::update(const std::string& tableName, const ColumnMap& values,
                                              const std::string& selection,
                                              const std::vector<SQLiteValue>& selectionArgs) {
    std::string items;
    std::vector<OptionalSQLiteValue> bindings;
    bindings.reserve(values.size() + selectionArgs.size());
    for (const auto& [name, value] : values) {
        items += (items.empty() ? "" : ", ") + name + "=?";
        bindings.push_back(value);
    }
    bindings.insert(bindings.end(), selectionArgs.begin(), selectionArgs.end());
    const std::string sql = "UPDATE " + tableName + " SET " + items + " WHERE " + selection;
    try {
        return write([&] {
            runKept(sql, std::move(bindings), kInsertFailure);
            return database_->changes();
        });
    } catch (const std::exception& error) {
        logDatabaseError(kInsertFailure, error);
        return std::nullopt;
    }
}

int64_t SQLiteProvider::deleteRows(const std::string& tableName, const std::string& selection,
                                   const std::vector<SQLiteValue>& selectionArgs) {
    try {
        const std::string sql = "DELETE FROM " + tableName + " WHERE " + selection;
        return write([&] {
            runKept(sql, arguments(selectionArgs), kDeleteFailure);
            return database_->changes();
        });
    } catch (const std::exception& error) {
        logDatabaseError(kDeleteFailure, error);
        return 0;
    }
}

std::optional<int64_t> SQLiteProvider::deleteWhereIn(const std::string& tableName, const std::string& column,
                                                     const std::vector<int64_t>& values) {
    if (values.empty()) {
        return 0;
    }
    try {
        // More values than one statement may bind (deleting tens of thousands of events by id) are split
        // over several statements. The chunk is the smaller of SQLite's default limit and this build's, so
        // the behaviour does not depend on how SQLite was built.
        const int limit = sqlite3_limit(database_->handle(), SQLITE_LIMIT_VARIABLE_NUMBER, -1);
        const std::size_t chunk = std::min(maximumBoundValues, static_cast<std::size_t>(std::max(limit, 1)));
        return write([&] { return deleteInChunks(tableName, column, values, chunk); });
    } catch (const std::exception& error) {
        logDatabaseError(kDeleteFailure, error);
        return std::nullopt;
    }
}

int64_t SQLiteProvider::deleteInChunks(const std::string& tableName, const std::string& column,
                                       const std::vector<int64_t>& values, std::size_t chunkSize) {
    const auto runChunk = [&](std::size_t offset, std::size_t count) {
        const auto first = values.begin() + static_cast<std::ptrdiff_t>(offset);
        std::vector<OptionalSQLiteValue> bound(first, first + static_cast<std::ptrdiff_t>(count));
        const std::string sql =
            "DELETE FROM " + tableName + " WHERE " + column + " IN (" + placeholders(count) + ")";
        if (count > maximumKeptDeleteValues) {
            runKept(sql, std::move(bound), kDeleteFailure);
            return database_->changes();
        }
        // The deletions of sent events and reports come in a few sizes, one or more for every report:
        // preparing their statement afresh cost about as much as running it.
        runWithKeptStatement(sql, bound);
        const int64_t deleted = database_->changes();
        if (group_->isOpen()) {
            group_->record({replayText(sql), std::move(bound), kDeleteFailure, true});
        }
        return deleted;
    };
    if (values.size() <= chunkSize) {
        return runChunk(0, values.size());
    }
    // Several statements within one savepoint: all or nothing.
    database_->execute("SAVEPOINT chunked_delete");
    try {
        int64_t deleted = 0;
        for (std::size_t offset = 0; offset < values.size(); offset += chunkSize) {
            deleted += runChunk(offset, std::min(chunkSize, values.size() - offset));
        }
        database_->execute("RELEASE chunked_delete");
        return deleted;
    } catch (...) {
        try {
            database_->execute("ROLLBACK TO chunked_delete");
            database_->execute("RELEASE chunked_delete");
        } catch (const std::exception&) {
        }
        throw;
    }
}

bool SQLiteProvider::clear(const std::string& tableName) {
    try {
        return write([&] {
            runKept("DELETE FROM " + tableName, {}, kDeleteFailure);
            return true;
        });
    } catch (const std::exception& error) {
        logDatabaseError(kDeleteFailure, error);
        return false;
    }
}

void SQLiteProvider::commitWrites() {
    database_->serialized([&] { group_->flush(); });
}

std::vector<SQLiteRow> SQLiteProvider::queryRows(const std::string& tableName, const QueryOptions& options) {
    std::vector<SQLiteRow> rows;
    database_->serialized([&] {
        group_->beforeRead();
        std::unique_ptr<Statement> statement;
        try {
            statement =
                std::make_unique<Statement>(*database_, rawSql(tableName, options),
                                            options.selectionArgs ? arguments(*options.selectionArgs)
                                                                  : std::vector<OptionalSQLiteValue>{});
        } catch (const std::exception& error) {
            logDatabaseError(kQueryFailure, error);
            return;
        }
        try {
            statement->reset();
            while (statement->step()) {
                rows.push_back(statement->cursor().row());
            }
        } catch (const std::exception&) {
            // The rows read before the failure are kept.
        }
    });
    return rows;
}

std::string SQLiteProvider::rawSql(const std::string& tableName, const QueryOptions& options) {
    std::string columns;
    if (options.projection) {
        for (const auto& name : *options.projection) {
            columns += (columns.empty() ? "" : ",") + name;
        }
    }
    std::string sql = "SELECT " + (columns.empty() ? std::string("*") : columns) + " FROM " + tableName;
    if (options.join) {
        sql += " JOIN " + *options.join;
    }
    if (options.selection) {
        sql += " WHERE " + *options.selection;
    }
    if (options.groupBy) {
        sql += " GROUP BY " + *options.groupBy;
    }
    if (options.sortOrder) {
        sql += " ORDER BY " + *options.sortOrder;
    }
    if (options.limit) {
        sql += " LIMIT " + std::to_string(*options.limit);
    }
    return sql;
}

}  // namespace zqb

#pragma once

#include "database/DatabaseProtocol.hpp"
#include "database/WriteGroup.hpp"
#include "host/Clock.hpp"
#include "host/Files.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

namespace zqb {

class Connection;
class Statement;

// The library's one SQLite database: the file "vorantel.db" in the data folder "vorantel" under the
// application-support directory, shared by every application key. Opening brings the schema to the current
// version; the row operations log their failures and report them through their results.
class SQLiteProvider final : public DatabaseProtocol, public std::enable_shared_from_this<SQLiteProvider> {
public:
    // Opens or creates the file and migrates its schema. A file that lacks a table, or columns that can be
    // added at the end of a table, is mended in place, with a WARNING for each change. A file that cannot
    // serve (not a database, damaged, a table this library cannot mend, a version newer than it knows) is
    // moved aside under a name that says why, never deleted, and a new database takes its place; the ERROR
    // line names both files. The projects, users, events and reports that can still be read from it are
    // carried into the new database first (a WARNING says how many).
    // Throws `SQLiteError` when there is no application-support directory (code 1), when the file cannot be
    // opened or written (read-only, no space, I/O), and `std::filesystem::filesystem_error` when the folder
    // cannot be created or the file cannot be moved aside. Each of these failures but the first is logged as
    // one ERROR naming the file or folder and the system's reason. What it creates is this user's alone.
    // `files` gives the application-support directory; `clock` dates the name of a file moved aside.
    // Processes that share the folder put a new file in place, or move one aside, one at a time, under the
    // folder's lock; a file another process put in place meanwhile is opened, never removed or moved.
    SQLiteProvider(const host::FilesProtocol& files, const host::ClockProtocol& clock);
    ~SQLiteProvider() override;

    // The library's data folder, or nothing when the platform gives no application-support directory.
    // Creates nothing.
    static std::optional<std::filesystem::path> folderPath(const host::FilesProtocol& files);
    static constexpr const char* folderName = "vorantel";
    static constexpr const char* fileName = "vorantel.db";
    // A new database is built beside the file under the file's name, this text and the building process's
    // id, and takes the file's name only once complete: a crash leaves no database without its schema.
    static constexpr const char* creationSuffix = ".creating-";
    // SQLite's default limit of values bound to one statement; a deletion by more ids, or by more than the
    // connection lets one statement bind or its text hold, is split.
    static constexpr std::size_t maximumBoundValues = 32766;
    // A deletion by at most this many values runs through a cached statement, one per count of values.
    static constexpr std::size_t maximumExactDeleteValues = 64;
    // A larger deletion, by at most this many values, does too: its values are padded to the next power of
    // two by repeating the last (an IN list ignores repeats), so that a few statements serve every count;
    // or to the most one statement may hold, where the connection allows fewer.
    static constexpr std::size_t maximumCachedDeleteValues = 1024;
    // Nor more than this many values in one statement, whatever SQLite allows: SQLite compiles the list into
    // a program that takes about a hundred bytes a value, allocated in one block, and a block of 128 KiB or
    // more would raise the general allocator's thresholds for the whole process once freed.
    static constexpr std::size_t maximumDeleteValues = 512;

    std::optional<int64_t> insert(const std::string& tableName, const ColumnMap& content) noexcept override;
    std::optional<int64_t> update(const std::string& tableName, const ColumnMap& values,
                                  const std::string& selection,
                                  const std::vector<SQLiteValue>& selectionArgs) noexcept override;
    int64_t deleteRows(const std::string& tableName, const std::string& selection,
                       const std::vector<SQLiteValue>& selectionArgs) noexcept override;
    std::optional<int64_t> deleteWhereIn(const std::string& tableName, const std::string& column,
                                         std::span<const int64_t> values) noexcept override;
    bool clear(const std::string& tableName) noexcept override;
    // Commits the open group now, also while a failed commit waits for its next attempt.
    void commitWrites() noexcept override;
    // Commits the open group and closes the file, as the release of the provider does, at once: whoever
    // still holds the provider (a network operation of a destroyed library) finds every operation failing,
    // with its ERROR, and the file untouched. A commit that fails here is final: the group is rolled back
    // and one ERROR says how many writes were lost.
    void closeForGood() noexcept override;
    // Rebuilds the file (SQLiteProviderErasure.cpp). Nothing is rebuilt while the open group's commit
    // fails: it is logged, and the group is kept for its next attempt.
    void eraseDeletedContent() noexcept override;
    // The reads (SQLiteProviderQuery.cpp).
    std::vector<SQLiteRow> queryRows(const std::string& tableName,
                                     const QueryOptions& options) noexcept override;
    // The SELECT text of a query.
    static std::string rawSql(const std::string& tableName, const QueryOptions& options);

    // The serial queue that makes the library's writes, and how to reach it.
    struct WriterQueue {
        std::function<bool()> isCurrent;
        // Runs an operation on the writer queue after those already waiting there.
        std::function<void(std::function<void()>)> post;
        // Runs an operation after a delay on a thread that is not the writer queue (timers); without it an
        // open group waits for the writer queue or the next write.
        std::function<void(int64_t delayMs, std::function<void()>)> runAfter;
        // The age limit of a group.
        int64_t windowMilliseconds = WriteGroup::defaultWindowMilliseconds;
        // Monotonic time, for the age of a group; the steady clock when absent.
        WriteGroup::Clock now;
        // When valid, no group reaches the file before it is ready: the first commit waits for it, on
        // whichever thread makes it.
        std::shared_future<void> heldUntil;
    };
    // Lets the writes made on `queue` share one transaction (`WriteGroup`): a burst of events costs one
    // commit instead of one each, and every event is in the file at most the window after it was stored, or
    // once that queue has nothing more to do, whichever comes first. Only for a provider owned by a
    // `std::shared_ptr`; others, and writes made elsewhere while no group is open, commit each on its own.
    // Set it before the provider is shared. The road of a write from that queue to the file, a failed commit
    // included, is told at the definition (SQLiteProviderWrites.cpp).
    void groupWritesOn(WriterQueue queue);

    // The file that could not be used at opening and was moved aside, if any.
    const std::optional<std::filesystem::path>& movedAside() const { return movedAside_; }

private:
    // The file's life (SQLiteProviderFile.cpp, the building of a new file in SQLiteProviderCreation.cpp).
    // Creates the data folder, and its missing parents, private to this user.
    static void createFolder(const std::filesystem::path& folder);
    // Takes from the data folder and the database's files what other users may do with them.
    static void keepPrivate(const std::filesystem::path& folder);
    // One ERROR line saying which file or folder failed the opening, and the system's reason.
    static void reportOpeningFailure(const host::FilesProtocol& files, const std::exception& error);
    void openOrCreate(const std::filesystem::path& file);
    // Under the folder's lock: creates the file unless it is there.
    static void create(const std::filesystem::path& file);
    static void removeUnfinishedCreations(const std::filesystem::path& folder);
    // Which file a path names, to tell it from one put in its place later; nothing when there is none.
    struct FileIdentity {
        uint64_t device = 0;
        uint64_t inode = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    static std::optional<FileIdentity> identityOf(const std::filesystem::path& file);
    void open(const std::filesystem::path& file);
    void close();
    void moveAside(const std::filesystem::path& file, const std::string& reason, const std::string& label,
                   const host::ClockProtocol& clock);
    // Carries what can still be read of the file moved aside into the new one at `file`, and logs it.
    void carryReadableRows(const std::filesystem::path& file);

    // The schema (SQLiteProviderSchema.cpp).
    void configure();
    int getSchemeVersion();
    void updateSchemeVersion(int version);
    void migrate();
    static void runStep(Connection& connection, const std::vector<std::string>& statements);
    static std::vector<std::string> columnsOf(Connection& connection, const std::string& table);
    static bool hasColumn(Connection& connection, const std::string& table, const std::string& column);
    // Creates the tables and adds the trailing columns the file lacks; a file whose tables differ otherwise
    // cannot serve (`UnusableFile`). Tables missing from the file are left so without `everyTable`.
    void repairSchema(bool everyTable);

    // The writes of rows (SQLiteProviderRows.cpp).
    // The most values one deletion from `tableName` by `column` may hold on this connection.
    std::size_t deleteChunkSize(const std::string& tableName, const std::string& column) const;
    int64_t deleteInChunks(const std::string& tableName, const std::string& column,
                           std::span<const int64_t> values, std::size_t chunkSize);
    // Runs one write under the connection's serialisation, within the open group if there is one.
    // Refused once the provider is closed for good.
    template <typename Work>
    auto write(Work&& work) -> decltype(work());
    // Runs a statement through its prepared form in the statement cache.
    void runWithCachedStatement(const std::string& sql, const std::vector<OptionalSQLiteValue>& values);
    // The texts of an insert into one table with one list of columns, made at its first insert.
    struct InsertPlan {
        std::string table;
        std::vector<std::string> columns;
        bool hasId = false;
        std::string sql;
        // The text that repeats it from the journal, with the row id it gave.
        std::shared_ptr<const std::string> journaled;
    };
    const InsertPlan& insertPlan(const std::string& tableName, const ColumnMap& content);

    // The write-group bridge (SQLiteProviderWrites.cpp).
    // Runs a statement and journals it in the open group, to be repeated if the group is rolled back.
    void runJournaled(const std::string& sql, std::vector<OptionalSQLiteValue> values,
                      const char* failurePrefix);
    // Repeats a journaled write of a group that SQLite rolled back.
    void replay(const WriteGroup::JournaledWrite& entry);
    void handleGroupEvent(WriteGroup::Event event);
    // Throws when the provider has been closed for good. Under the connection's serialisation.
    void ensureOpen() const;
    // The text that repeats a write of a cached statement from the journal, shared by every entry of it.
    std::shared_ptr<const std::string> journaledText(const std::string& sql);

    std::unique_ptr<Connection> database_;
    // The statement cache, prepared statements by their text: every stored event is one insert and every sent
    // report two deletions, and preparing their statement afresh cost about as much as running it.
    // Declared after the connection, so they are finalized before it closes; used only under the
    // connection's serialisation.
    std::unordered_map<std::string, std::unique_ptr<Statement>> statementCache_;
    // By the text of a cached statement: the text that repeats it from the journal.
    std::unordered_map<std::string, std::shared_ptr<const std::string>> journaledTexts_;
    // The inserts made so far, one for each table and list of columns the library inserts with: every
    // stored event is one, and writing its texts afresh each time was a good part of what it cost here.
    // Used only under the connection's serialisation.
    std::vector<InsertPlan> insertPlans_;
    // Refers to the connection: declared after it, released before it.
    std::unique_ptr<WriteGroup> group_;
    // Set by `closeForGood`, under the connection's serialisation: the connection's file is closed.
    bool closedForGood_ = false;
    std::optional<std::filesystem::path> movedAside_;
    // The file the last opening opened, as it was found just before.
    std::optional<FileIdentity> opened_;
};

}  // namespace zqb

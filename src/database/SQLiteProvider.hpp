#pragma once

#include "database/DatabaseProtocol.hpp"

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
    // Opens or creates the file and migrates its schema. Throws `SQLiteError` when there is no
    // application-support directory (code 1), when the file cannot be opened or is not a readable database,
    // or when a schema step fails (the file is then left as it was); `std::filesystem::filesystem_error` when
    // the folder cannot be created.
    explicit SQLiteProvider(const std::string& applicationKey);
    ~SQLiteProvider() override;

    // The library's data folder, or nothing when the platform gives no application-support directory.
    // Creates nothing.
    static std::optional<std::filesystem::path> folderPath();
    static constexpr const char* folderName = "vorantel";
    static constexpr const char* fileName = "vorantel.db";
    // SQLite's default limit of values bound to one statement; a deletion by more ids is split.
    static constexpr std::size_t maximumBoundValues = 32766;

    std::optional<int64_t> insert(const std::string& tableName, const ColumnMap& content) override;
    std::optional<int64_t> update(const std::string& tableName, const ColumnMap& values,
                                  const std::string& selection,
                                  const std::vector<SQLiteValue>& selectionArgs) override;
    int64_t deleteRows(const std::string& tableName, const std::string& selection,
                       const std::vector<SQLiteValue>& selectionArgs) override;
    void clear(const std::string& tableName) override;
    std::vector<SQLiteRow> queryRows(const std::string& tableName, const QueryOptions& options) override;

    // The SELECT text of a query.
    static std::string rawSql(const std::string& tableName, const QueryOptions& options);

    // The serial queue that makes the library's writes: whether the calling thread is it, and how to run
    // an operation on it after those already waiting.
    struct WriterQueue {
        std::function<bool()> isCurrent;
        std::function<void(std::function<void()>)> post;
    };
    // Lets inserts made on `queue` share one transaction, committed by an operation posted behind the ones
    // already waiting there: a burst of events costs one commit instead of one each, and once that queue
    // has nothing more to do, everything it stored is committed. Only for a provider owned by a
    // `std::shared_ptr`; others, and inserts made elsewhere, commit each insert on its own. Set it before
    // the provider is shared.
    void groupInsertsOn(WriterQueue queue);

private:
    void configure();
    int getSchemeVersion();
    void updateSchemeVersion(int version);
    void migrate();
    void runStep(const std::vector<std::string>& statements);
    bool hasColumn(const std::string& table, const std::string& column);
    int64_t deleteInChunks(const std::string& tableName, const std::string& column,
                           const std::vector<SQLiteValue>& values, std::size_t chunkSize);

    std::optional<int64_t> insertWithKeptStatement(const std::string& sql,
                                                   const std::vector<OptionalSQLiteValue>& values);

    void joinInsertGroup();
    void commitInsertGroup();
    bool inTransaction() const;

    std::unique_ptr<Connection> database_;
    std::optional<WriterQueue> writerQueue_;
    // Whether a commit of the open group waits on the writer queue; under the connection's serialisation.
    bool commitPosted_ = false;
    // Prepared INSERT statements by their text, kept for reuse: every stored event is one insert, and
    // preparing its statement afresh cost about as much as running it. Declared after the connection, so
    // they are finalized before it closes; used only under the connection's serialisation.
    std::unordered_map<std::string, std::unique_ptr<Statement>> insertStatements_;
};

}  // namespace zqb

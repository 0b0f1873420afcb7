#pragma once

#include "database/DatabaseProtocol.hpp"

#include <filesystem>
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
class SQLiteProvider final : public DatabaseProtocol {
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

    std::unique_ptr<Connection> database_;
    // Prepared INSERT statements by their text, kept for reuse: every stored event is one insert, and
    // preparing its statement afresh cost about as much as running it. Declared after the connection, so
    // they are finalized before it closes; used only under the connection's serialisation.
    std::unordered_map<std::string, std::unique_ptr<Statement>> insertStatements_;
};

}  // namespace zqb

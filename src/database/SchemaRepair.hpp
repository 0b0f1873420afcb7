#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zqb {

class Connection;

// Compares the tables of an opened file with the library's schema and says how to bring them to it in
// place: a missing table is created whole, and columns missing at the end of a table are added with their
// defaults. Rows are read by column position, so anything else that differs (a column missing before
// others, renamed, of another type affinity, a key) cannot be mended without rewriting the table, and the
// file cannot serve.
class SchemaRepair {
public:
    SchemaRepair() = delete;

    struct Column {
        std::string name;
        std::string type;
        bool notNull = false;
        std::optional<std::string> defaultValue;
        bool primaryKey = false;
        // Part of a UNIQUE constraint of the table.
        bool unique = false;
    };
    struct Table {
        std::string name;
        // Creates the table with every column, those that later steps add included.
        std::string createStatement;
        std::vector<Column> columns;
    };
    // One statement that brings a file closer to the schema.
    struct Step {
        std::string table;
        // Empty when the step creates the whole table.
        std::string column;
        std::string sql;
    };
    class Unrepairable : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // The library's tables, with their columns in order, as its schema statements create them.
    static const std::vector<Table>& schema();
    // The table of the schema with this name, or null.
    static const Table* table(const std::string& name);

    // Whether every table of the schema is in the file as the schema statements leave it, word for word
    // (`SQLiteContracts::tablesAsKept`): one read of the file's schema table, and no table of the schema
    // built in memory. The usual file then needs no `plan`; false says only that `plan` must compare the
    // tables column by column (a table mended, or made by other statements). Throws `SQLiteError` when the
    // file cannot be read.
    static bool madeByTheSchemaStatements(Connection& connection);

    // The steps that bring the file's tables to the schema, none when nothing differs. A table missing from
    // the file is created only with `createMissingTables`. Columns after the schema's are left alone. Throws
    // `Unrepairable`, saying what differs, when a table cannot be mended in place; `SQLiteError` when the
    // file cannot be read.
    static std::vector<Step> plan(Connection& connection, bool createMissingTables);

    // The affinity SQLite gives a declared column type: "INTEGER", "TEXT", "BLOB", "REAL" or "NUMERIC".
    static std::string affinity(const std::string& declaredType);
};

}  // namespace zqb

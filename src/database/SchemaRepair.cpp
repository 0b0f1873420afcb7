#include "database/SchemaRepair.hpp"

#include "database/Connection.hpp"
#include "database/SQLiteContracts.hpp"
#include "database/Statement.hpp"

#include <algorithm>
#include <cctype>
#include <unordered_map>

namespace zqb {
namespace {

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char letter) { return static_cast<char>(std::toupper(letter)); });
    return text;
}

std::string textAt(const Statement& statement, int column) {
    return statement.cursor()[column].value_or("");
}

// The columns of a table as the file declares them, in order; none when the file has no such table.
std::vector<SchemaRepair::Column> columnsIn(Connection& connection, const std::string& table) {
    std::vector<SchemaRepair::Column> columns;
    Statement statement(connection,
                        "SELECT name, type, \"notnull\", dflt_value, pk FROM pragma_table_info(?)",
                        {SQLiteValue(table)});
    while (statement.step()) {
        const auto row = statement.cursor().row();
        SchemaRepair::Column column;
        column.name = textAt(statement, 0);
        column.type = textAt(statement, 1);
        column.notNull = rowFlag(row, 2);
        column.defaultValue = statement.cursor()[3];
        column.primaryKey = rowFlag(row, 4);
        columns.push_back(std::move(column));
    }
    return columns;
}

std::string names(const std::vector<SchemaRepair::Column>& columns) {
    std::string text;
    for (const auto& column : columns) {
        text += (text.empty() ? "" : ", ") + column.name;
    }
    return text;
}

// SQLite refuses to add a key or a unique column to a table, and a NOT NULL one without a default.
bool addable(const SchemaRepair::Column& column) {
    return !column.primaryKey && !column.unique && (!column.notNull || column.defaultValue);
}

std::string addColumn(const std::string& table, const SchemaRepair::Column& column) {
    std::string sql = "ALTER TABLE " + table + " ADD COLUMN " + column.name + " " + column.type;
    if (column.defaultValue) {
        sql += " DEFAULT " + *column.defaultValue;
    }
    if (column.notNull) {
        sql += " NOT NULL";
    }
    return sql;
}

std::vector<SchemaRepair::Table> readSchema() {
    std::vector<SchemaRepair::Table> tables;
    Connection memory(":memory:", false);
    for (const auto& step : SQLiteContracts::map()) {
        for (const auto& statement : step) {
            memory.execute(statement);
        }
    }
    Statement listed(memory,
                     "SELECT name, sql FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                     "'sqlite_%' ORDER BY rowid");
    while (listed.step()) {
        tables.push_back({textAt(listed, 0), textAt(listed, 1), {}});
    }
    for (auto& table : tables) {
        table.columns = columnsIn(memory, table.name);
        Statement unique(
            memory,
            "SELECT info.name FROM pragma_index_list(?) AS list, pragma_index_info(list.name) AS "
            "info WHERE list.\"unique\" = 1",
            {SQLiteValue(table.name)});
        while (unique.step()) {
            const std::string name = textAt(unique, 0);
            for (auto& column : table.columns) {
                column.unique = column.unique || column.name == name;
            }
        }
    }
    return tables;
}

}  // namespace

bool SchemaRepair::madeByTheSchemaStatements(Connection& connection) {
    const auto& expected = SQLiteContracts::tablesAsKept();
    std::unordered_map<std::string, std::string> kept;
    Statement listed(connection, "SELECT name, sql FROM sqlite_master WHERE type = 'table'");
    while (listed.step()) {
        kept.emplace(textAt(listed, 0), textAt(listed, 1));
    }
    return std::all_of(expected.begin(), expected.end(), [&](const auto& table) {
        const auto found = kept.find(table.name);
        return found != kept.end() && found->second == table.statement;
    });
}

const std::vector<SchemaRepair::Table>& SchemaRepair::schema() {
    // Never destroyed: the income queue may still open a database while the process exits.
    static const auto& tables = *new std::vector<Table>(readSchema());
    return tables;
}

const SchemaRepair::Table* SchemaRepair::table(const std::string& name) {
    for (const auto& table : schema()) {
        if (table.name == name) {
            return &table;
        }
    }
    return nullptr;
}

std::vector<SchemaRepair::Step> SchemaRepair::plan(Connection& connection, bool createMissingTables) {
    std::vector<Step> steps;
    for (const auto& table : schema()) {
        const auto found = columnsIn(connection, table.name);
        if (found.empty()) {
            if (createMissingTables) {
                steps.push_back({table.name, "", table.createStatement});
            }
            continue;
        }
        for (std::size_t index = 0; index < table.columns.size(); ++index) {
            const Column& wanted = table.columns[index];
            if (index >= found.size()) {
                if (!addable(wanted)) {
                    throw Unrepairable("the table " + table.name + " lacks the column " + wanted.name +
                                       ", which cannot be added to it");
                }
                steps.push_back({table.name, wanted.name, addColumn(table.name, wanted)});
                continue;
            }
            const Column& have = found[index];
            if (have.name != wanted.name) {
                throw Unrepairable("the table " + table.name + " has the columns (" + names(found) +
                                   "), this library needs (" + names(table.columns) + ")");
            }
            if (affinity(have.type) != affinity(wanted.type) || have.primaryKey != wanted.primaryKey) {
                throw Unrepairable("the column " + wanted.name + " of the table " + table.name +
                                   " is declared \"" + have.type + (have.primaryKey ? " PRIMARY KEY" : "") +
                                   "\", this library needs \"" + wanted.type +
                                   (wanted.primaryKey ? " PRIMARY KEY" : "") + "\"");
            }
        }
    }
    return steps;
}

std::string SchemaRepair::affinity(const std::string& declaredType) {
    const std::string type = upper(declaredType);
    const auto has = [&](const char* part) { return type.find(part) != std::string::npos; };
    if (has("INT")) {
        return "INTEGER";
    }
    if (has("CHAR") || has("CLOB") || has("TEXT")) {
        return "TEXT";
    }
    if (type.empty() || has("BLOB")) {
        return "BLOB";
    }
    if (has("REAL") || has("FLOA") || has("DOUB")) {
        return "REAL";
    }
    return "NUMERIC";
}

}  // namespace zqb

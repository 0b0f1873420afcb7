#include "database/SQLiteProvider.hpp"

#include "database/Connection.hpp"
#include "database/SQLiteProviderSupport.hpp"
#include "database/Statement.hpp"

namespace zqb {

using provider_support::arguments;
using provider_support::runGuarded;

std::vector<SQLiteRow> SQLiteProvider::queryRows(const std::string& tableName,
                                                 const QueryOptions& options) noexcept {
    std::vector<SQLiteRow> rows;
    runGuarded(kQueryFailure, [&] {
        database_->serialized([&] {
            ensureOpen();
            group_->beforeRead();
            Statement statement(*database_, rawSql(tableName, options),
                                options.selectionArgs ? arguments(*options.selectionArgs)
                                                      : std::vector<OptionalSQLiteValue>{});
            try {
                statement.reset();
                while (statement.step()) {
                    rows.push_back(statement.cursor().row());
                }
            } catch (const std::exception&) {
                // The rows read before the failure are returned.
            }
        });
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

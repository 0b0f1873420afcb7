#pragma once

#include "database/SQLiteValue.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace zqb {

// The optional parts of a SELECT. Every caller of the library reads whole tables and leaves them all absent.
struct QueryOptions {
    std::optional<std::vector<std::string>> projection;
    std::optional<std::string> join;
    std::optional<std::string> selection;
    std::optional<std::vector<SQLiteValue>> selectionArgs;
    std::optional<std::string> groupBy;
    std::optional<std::string> sortOrder;
    std::optional<int64_t> limit;
};

namespace detail {

// What a record's `fromRow` gives: a shared object (class records) or an optional value (value records).
template <typename Result>
struct RowReading;

template <typename Record>
struct RowReading<std::shared_ptr<Record>> {
    using Element = std::shared_ptr<Record>;
    static bool present(const std::shared_ptr<Record>& result) { return result != nullptr; }
    static Element take(std::shared_ptr<Record>&& result) { return std::move(result); }
};

template <typename Record>
struct RowReading<std::optional<Record>> {
    using Element = Record;
    static bool present(const std::optional<Record>& result) { return result.has_value(); }
    static Element take(std::optional<Record>&& result) { return std::move(*result); }
};

template <typename T>
using RowReadingOf = RowReading<std::remove_cvref_t<decltype(T::fromRow(std::declval<const SQLiteRow&>()))>>;

}  // namespace detail

// The one database of the library, as the repositories, services and migration see it. Operations never
// throw, and are declared so: failures, an allocation's included, are logged by the implementation and
// reported through the result.
class DatabaseProtocol {
public:
    virtual ~DatabaseProtocol() = default;

    // The new row's id, or nothing on failure.
    virtual std::optional<int64_t> insert(const std::string& tableName,
                                          const ColumnMap& content) noexcept = 0;

    // The number of rows changed, or nothing on failure.
    virtual std::optional<int64_t> update(const std::string& tableName, const ColumnMap& values,
                                          const std::string& selection,
                                          const std::vector<SQLiteValue>& selectionArgs) noexcept = 0;

    // The number of rows deleted; 0 on failure.
    virtual int64_t deleteRows(const std::string& tableName, const std::string& selection,
                               const std::vector<SQLiteValue>& selectionArgs) noexcept = 0;

    // Deletes the rows whose `column` holds one of `values`, all or none of them however many there are.
    // The number of rows deleted, or nothing on failure.
    virtual std::optional<int64_t> deleteWhereIn(const std::string& tableName, const std::string& column,
                                                 std::span<const int64_t> values) noexcept = 0;

    // Deletes every row of the table. Whether it did.
    virtual bool clear(const std::string& tableName) noexcept = 0;

    // Makes every write reported done so far durable now, where writes are committed in groups; a store
    // that commits each write on its own has nothing to do.
    virtual void commitWrites() noexcept {}

    // Commits what is open and rewrites the file without the content of deleted and overwritten rows,
    // which a file keeps in its free space otherwise; a store that keeps no such content has nothing to do.
    // For data that must not stay on the device once removed.
    virtual void eraseDeletedContent() noexcept {}

    // Makes every write reported done durable, as far as the file takes it, and lets the file go for good,
    // also while others still hold the database: every later operation fails. The destroy of the library
    // calls it, so that what the destroyed library still holds never meets a database opened next.
    virtual void closeForGood() noexcept {}

    // The rows of the table in the order the database gives them, each with its columns in table order.
    // Stops quietly at a failure while stepping and returns what was read.
    virtual std::vector<SQLiteRow> queryRows(const std::string& tableName,
                                             const QueryOptions& options) noexcept = 0;

    // The rows read as records through `T::fromRow(const SQLiteRow&)`; rows that give nothing are left out.
    // The elements are shared objects when `fromRow` gives `std::shared_ptr<T>`, values when it gives
    // `std::optional<T>`.
    template <typename T>
    std::vector<typename detail::RowReadingOf<T>::Element> query(const std::string& tableName,
                                                                 const QueryOptions& options = {}) {
        using Reading = detail::RowReadingOf<T>;
        std::vector<typename Reading::Element> records;
        auto rows = queryRows(tableName, options);
        records.reserve(rows.size());
        for (const auto& row : rows) {
            auto record = T::fromRow(row);
            if (Reading::present(record)) {
                records.push_back(Reading::take(std::move(record)));
            }
        }
        return records;
    }
};

}  // namespace zqb

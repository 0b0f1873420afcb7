#pragma once

#include "database/DatabaseProtocol.hpp"
#include "foundation/MappedBlocks.hpp"
#include "model/JsonText.hpp"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <type_traits>
#include <unordered_set>
#include <utility>
#include <vector>

namespace zqb {

// What the table repositories share: the provider, the table name and an in-memory cache of the whole
// table. The cache is either empty (nothing loaded, or the table was empty) or every row of the table as
// loaded followed by the records inserted since. Class records are cached as shared objects, so a caller
// that changes a record from `list()` changes the cached one; value records are copied in and out.
//
// The cache follows the file. A write changes the cache only once the provider reports it done, and a write
// the provider reports failed leaves the cache as the file holds it: nothing is cached or uncached, and a
// shared record that the caller changed before a failed update is read back from its row. The provider's
// answer is final: a write reported done stays in the file (a group of writes that SQLite rolls back is
// written again from its journal), one reported failed is not tried again. Each write tells whether it was
// done, so that a caller whose next step depends on it (a deleted report is never sent again) can tell.
//
// Repositories take no locks: each is used from one serial queue at a time.
//
// The cache's vector takes its memory through `Allocator`: the repositories whose tables a backlog fills
// (a hundred thousand unsent events, or their reports) name `MappedAllocator`, so that the cache's vector
// grows in memory mapped for it and goes back to the system as the cache shrinks again.
//
// Rows are read by `Reader::fromRow(const SQLiteRow&)`, the record's own reader unless a repository names
// another.
template <typename Record, typename Reader = Record, template <typename> class Allocator = std::allocator>
class Repository {
public:
    // `std::shared_ptr<Record>` for class records, `Record` for value records, as `fromRow` gives.
    using Element = typename detail::RowReadingOf<Reader>::Element;
    static constexpr bool sharesRecords = !std::is_same_v<Element, Record>;
    using Cache = std::vector<Element, Allocator<Element>>;

    virtual ~Repository() = default;
    Repository(const Repository&) = delete;
    Repository& operator=(const Repository&) = delete;

    // The whole table: the cache when it holds rows, else the table read afresh into the cache.
    virtual Cache list() {
        loadIfEmpty();
        return cache_;
    }

    // The whole table as `list()` gives it, without a copy: the cache itself, valid until it next changes.
    const Cache& loaded() {
        loadIfEmpty();
        return cache_;
    }

    // The cache itself, for the callers that empty it before clearing the table.
    Cache& cache() { return cache_; }
    const Cache& cache() const { return cache_; }
    const std::string& tableName() const { return tableName_; }
    const std::shared_ptr<DatabaseProtocol>& database() const { return database_; }

protected:
    Repository(std::shared_ptr<DatabaseProtocol> database, std::string tableName)
        : database_(std::move(database)), tableName_(std::move(tableName)) {}

    static Record& record(Element& element) {
        if constexpr (sharesRecords) {
            return *element;
        } else {
            return element;
        }
    }
    static const Record& record(const Element& element) {
        if constexpr (sharesRecords) {
            return *element;
        } else {
            return element;
        }
    }

    void loadIfEmpty() {
        if (cache_.empty()) {
            auto loaded = database_->template query<Reader>(tableName_);
            cache_.assign(std::make_move_iterator(loaded.begin()), std::make_move_iterator(loaded.end()));
        }
    }

    // Loads an empty cache first, so that the record appended afterwards joins a complete table.
    std::optional<int64_t> insertRow(const ColumnMap& content) {
        loadIfEmpty();
        return database_->insert(tableName_, content);
    }

    // Stores a new row for `element` and, on success, caches it with the new row id: the object itself for
    // class records, a copy for value records (the caller's value keeps its id). Nothing is cached on
    // failure. Whether the row was stored.
    bool insertRecord(Element element, const ColumnMap& content) {
        const auto idKey = insertRow(content);
        if (idKey) {
            record(element).idKey = *idKey;
            cache_.push_back(std::move(element));
        }
        return idKey.has_value();
    }

    // Writes every column of the row with `element`'s idKey. `replacing`: once written, `element` takes the
    // place of the first cached element with its idKey (the cache then holds the given object, or the
    // given value). When the file refuses, the cached record is read back from its row instead. Whether the
    // row was there and written.
    bool updateRecord(const Element& element, const ColumnMap& values, bool replacing) {
        const int64_t idKey = record(element).idKey;
        const auto changed = database_->update(tableName_, values, "id=?", {SQLiteValue(idKey)});
        if (!changed) {
            restoreFromFile(idKey);
            return false;
        }
        if (replacing) {
            if (const auto found = findCached(idKey); found != cache_.end()) {
                *found = element;
            }
        }
        return *changed > 0;
    }

    // What a record keeps in memory only, carried over when the record is read back from its row.
    virtual void keepUnstored(Record& /*fromFile*/, const Record& /*inMemory*/) const {}

    // Removes the rows with these ids, then, once they are gone, their records from the cache. `erased`,
    // when given, sees each cached element as it leaves the cache. Whether the rows were deleted.
    bool deleteIds(std::span<const int64_t> ids, const std::function<void(const Element&)>& erased = {}) {
        if (ids.empty()) {
            return true;
        }
        if (!database_->deleteWhereIn(tableName_, "id", ids)) {
            return false;
        }
        if (ids.size() <= 8) {
            // A sent report or a packed event is among the oldest records, near the front: looking each id
            // up from there leaves alone the thousands that may wait behind it, whose records are not in the
            // processor's cache. Reading them all at every sent report made the income queue fall behind
            // under steady load, and everything waiting on it with it.
            for (const int64_t id : ids) {
                const auto found = std::find_if(cache_.begin(), cache_.end(), [&](const Element& cached) {
                    return record(cached).idKey == id;
                });
                if (found != cache_.end()) {
                    if (erased) {
                        erased(*found);
                    }
                    cache_.erase(found);
                }
            }
        } else {
            // Sorted, in memory mapped for them: the ids of a packed backlog's events are as many as its
            // rows.
            MappedVector<int64_t> wanted(ids.begin(), ids.end());
            std::sort(wanted.begin(), wanted.end());
            std::erase_if(cache_, [&](const Element& cached) {
                if (!std::binary_search(wanted.begin(), wanted.end(), record(cached).idKey)) {
                    return false;
                }
                if (erased) {
                    erased(cached);
                }
                return true;
            });
        }
        fitCache();
        return true;
    }

    // Removes the rows of these users (their `userId`), then their records from the cache. Whether the rows
    // were deleted.
    bool deleteForUsers(std::span<const int64_t> userIds) {
        if (userIds.empty()) {
            return true;
        }
        if (!database_->deleteWhereIn(tableName_, "userId", userIds)) {
            return false;
        }
        const std::unordered_set<int64_t> wanted(userIds.begin(), userIds.end());
        std::erase_if(cache_, [&](const Element& cached) { return wanted.contains(record(cached).userId); });
        fitCache();
        return true;
    }

    // Deletes every row, then empties the cache. Whether the rows were deleted.
    bool clearTable() {
        if (!database_->clear(tableName_)) {
            return false;
        }
        cache_.clear();
        fitCache();
        return true;
    }

    // A JSON column: the compact text of `value`, else of `defaultOption`, else NULL.
    template <typename T>
    static OptionalSQLiteValue encodeOrDefault(const T& value, const T& defaultOption) {
        if (auto text = toJSONData(value)) {
            return SQLiteValue(std::move(*text));
        }
        if (auto text = toJSONData(defaultOption)) {
            return SQLiteValue(std::move(*text));
        }
        return std::nullopt;
    }

    template <typename Records>
    static std::vector<int64_t> idsOf(const Records& records) {
        std::vector<int64_t> ids;
        ids.reserve(records.size());
        for (const auto& element : records) {
            ids.push_back(record(element).idKey);
        }
        return ids;
    }

private:
    // The room a cache keeps however few records it holds.
    static constexpr std::size_t kKeptRoom = 1024;

    // A cache down to a quarter of its room gives the room back: a drained backlog's vector would otherwise
    // keep what the backlog took.
    void fitCache() {
        if (cache_.capacity() > kKeptRoom && cache_.size() < cache_.capacity() / 4) {
            cache_.shrink_to_fit();
        }
    }

    typename Cache::iterator findCached(int64_t idKey) {
        return std::find_if(cache_.begin(), cache_.end(),
                            [&](const Element& cached) { return record(cached).idKey == idKey; });
    }

    // A value record's cache was not touched by the failed write; a shared one may have been changed by
    // its holder, and gets the row's values again (nothing when the row cannot be read).
    void restoreFromFile(int64_t idKey) {
        if constexpr (sharesRecords) {
            const auto cached = findCached(idKey);
            if (cached == cache_.end()) {
                return;
            }
            for (auto& stored : database_->template query<Reader>(tableName_)) {
                if (stored->idKey == idKey) {
                    keepUnstored(*stored, **cached);
                    **cached = std::move(*stored);
                    return;
                }
            }
        }
    }

    std::shared_ptr<DatabaseProtocol> database_;
    std::string tableName_;
    Cache cache_;
};

}  // namespace zqb

#pragma once

#include "database/DatabaseProtocol.hpp"

#include <memory>
#include <span>
#include <utility>

namespace zqb::test {

// A database that passes every operation on to another, for a test that watches or holds back one of them
// (it overrides that one).
class ForwardingDatabase : public DatabaseProtocol {
public:
    explicit ForwardingDatabase(std::shared_ptr<DatabaseProtocol> inner) : inner_(std::move(inner)) {}

    std::optional<int64_t> insert(const std::string& table, const ColumnMap& content) noexcept override {
        return inner_->insert(table, content);
    }
    std::optional<int64_t> update(const std::string& table, const ColumnMap& values,
                                  const std::string& selection,
                                  const std::vector<SQLiteValue>& args) noexcept override {
        return inner_->update(table, values, selection, args);
    }
    int64_t deleteRows(const std::string& table, const std::string& selection,
                       const std::vector<SQLiteValue>& args) noexcept override {
        return inner_->deleteRows(table, selection, args);
    }
    std::optional<int64_t> deleteWhereIn(const std::string& table, const std::string& column,
                                         std::span<const int64_t> values) noexcept override {
        return inner_->deleteWhereIn(table, column, values);
    }
    bool clear(const std::string& table) noexcept override { return inner_->clear(table); }
    void commitWrites() noexcept override { inner_->commitWrites(); }
    void eraseDeletedContent() noexcept override { inner_->eraseDeletedContent(); }
    void closeForGood() noexcept override { inner_->closeForGood(); }
    std::vector<SQLiteRow> queryRows(const std::string& table,
                                     const QueryOptions& options) noexcept override {
        return inner_->queryRows(table, options);
    }

private:
    std::shared_ptr<DatabaseProtocol> inner_;
};

}  // namespace zqb::test

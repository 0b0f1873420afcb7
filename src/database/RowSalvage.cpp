#include "database/RowSalvage.hpp"

#include "database/Connection.hpp"
#include "database/Cursor.hpp"
#include "database/SQLiteError.hpp"
#include "database/SchemaRepair.hpp"
#include "database/Statement.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <memory>
#include <optional>

namespace zqb {
namespace {

using Clock = std::chrono::steady_clock;
using Ids = std::map<int64_t, int64_t>;

// Rows written between two commits: the new database keeps a transaction's pages in memory until it
// commits.
constexpr int64_t kRowsPerCommit = 10000;

// One table to carry and how its rows point at those carried before.
struct TableRule {
    std::string name;
    // The column that holds the id of a row carried before, with the old ids mapped to the carried ones.
    std::string reference;
    const Ids* referenced = nullptr;
    // Where the carried rows' ids go, for the tables that later ones point at, with the columns of the
    // table's UNIQUE key.
    Ids* ids = nullptr;
    std::vector<std::string> key;
};

// The value a column of `affinity` would store, or nothing when it would not be of the column's type. The
// library writes only integers and texts into the carried tables.
std::optional<OptionalSQLiteValue> fitted(const Cursor& row, int index, const std::string& affinity) {
    const int type = sqlite3_column_type(row.handle(), index);
    if (type == SQLITE_NULL) {
        return OptionalSQLiteValue{};
    }
    if (type == SQLITE_INTEGER && affinity == "INTEGER") {
        return row.value(index);
    }
    if (type == SQLITE_INTEGER && affinity == "TEXT") {
        return OptionalSQLiteValue(std::to_string(sqlite3_column_int64(row.handle(), index)));
    }
    if (type == SQLITE_TEXT && affinity == "TEXT") {
        return row.value(index);
    }
    if (type == SQLITE_TEXT && affinity == "INTEGER") {
        const std::string text = std::get<std::string>(*row.value(index));
        int64_t number = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (error == std::errc() && end == text.data() + text.size() && !text.empty()) {
            return OptionalSQLiteValue(number);
        }
    }
    return std::nullopt;
}

class Salvage {
public:
    Salvage(sqlite3* source, Connection& target, Clock::time_point deadline, std::chrono::milliseconds budget)
        : source_(source), target_(target), deadline_(deadline), budget_(budget) {
        for (const auto& table : RowSalvage::tables()) {
            carried_.emplace_back(table, 0);
        }
        pending_.assign(carried_.size(), 0);
    }

    RowSalvage::Outcome run() {
        Ids projects;
        Ids users;
        const std::vector<TableRule> rules{
            {"projects", "", nullptr, &projects, {"applicationKey"}},
            {"users", "projectId", &projects, &users, {"projectId", "userId"}},
            {"reports", "userId", &users, nullptr, {}},
            {"events", "userId", &users, nullptr, {}},
        };
        if (!readable()) {
            return {carried_, stoppedBy_};
        }
        try {
            target_.execute("BEGIN IMMEDIATE");
            for (current_ = 0; current_ < rules.size(); ++current_) {
                carry(rules[current_]);
            }
            forgetActiveUsersNotCarried(users);
            commit(false);
        } catch (const std::exception& error) {
            try {
                target_.execute("ROLLBACK");
            } catch (const std::exception&) {
            }
            stop(std::string("writing the new database: ") + error.what());
        }
        return {carried_, stoppedBy_};
    }

private:
    void stop(const std::string& reason) {
        if (stoppedBy_.find(reason) == std::string::npos) {
            stoppedBy_ += (stoppedBy_.empty() ? "" : "; ") + reason;
        }
    }
    bool late() const { return Clock::now() >= deadline_; }
    std::string lateReason() const {
        return "reading took longer than " + std::to_string(budget_.count()) + " ms";
    }

    void commit(bool again) {
        target_.execute("COMMIT");
        for (std::size_t index = 0; index < pending_.size(); ++index) {
            carried_[index].second += pending_[index];
            pending_[index] = 0;
        }
        sinceCommit_ = 0;
        if (again) {
            target_.execute("BEGIN IMMEDIATE");
        }
    }

    // Whether the file's schema can be read at all: without it no table can.
    bool readable() {
        if (sqlite3_exec(source_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) ==
            SQLITE_OK) {
            return true;
        }
        stop(sqlite3_errmsg(source_));
        return false;
    }

    // The file's columns of a table; none when it has no such table.
    std::vector<std::string> sourceColumns(const std::string& table) {
        std::vector<std::string> columns;
        sqlite3_stmt* raw = nullptr;
        const std::string sql = "SELECT name FROM pragma_table_info('" + table + "')";
        if (sqlite3_prepare_v2(source_, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
            stop(table + ": " + sqlite3_errmsg(source_));
            return columns;
        }
        const std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(raw, &sqlite3_finalize);
        const Cursor cursor(raw, 1);
        while (sqlite3_step(raw) == SQLITE_ROW) {
            if (auto name = cursor[0]) {
                columns.push_back(std::move(*name));
            }
        }
        return columns;
    }

    void carry(const TableRule& rule) {
        if (late()) {
            stop(lateReason());
            return;
        }
        const auto* table = SchemaRepair::table(rule.name);
        const auto found = sourceColumns(rule.name);
        // The columns both have, with the type each must be of; the ids are kept, so a table without them is
        // left.
        std::vector<std::string> names;
        std::vector<std::string> affinities;
        for (const auto& column : table->columns) {
            if (std::find(found.begin(), found.end(), column.name) != found.end()) {
                names.push_back(column.name);
                affinities.push_back(SchemaRepair::affinity(column.type));
            }
        }
        const auto position = [&](const std::string& name) {
            const auto at = std::find(names.begin(), names.end(), name);
            return at == names.end() ? -1 : static_cast<int>(at - names.begin());
        };
        const int id = position("id");
        const int reference = rule.reference.empty() ? -1 : position(rule.reference);
        if (id < 0 || (!rule.reference.empty() && reference < 0)) {
            return;
        }
        std::string list;
        std::string marks;
        for (const auto& name : names) {
            list += (list.empty() ? "" : ", ") + name;
            marks += marks.empty() ? "?" : ", ?";
        }
        sqlite3_stmt* raw = nullptr;
        const std::string select = "SELECT " + list + " FROM " + rule.name;
        if (sqlite3_prepare_v2(source_, select.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
            stop(rule.name + ": " + sqlite3_errmsg(source_));
            return;
        }
        const std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> rows(raw, &sqlite3_finalize);
        const Cursor cursor(raw, static_cast<int>(names.size()));
        Statement insert(target_,
                         "INSERT OR IGNORE INTO " + rule.name + " (" + list + ") VALUES(" + marks + ")");
        std::string lookup;
        for (const auto& column : rule.key) {
            lookup += (lookup.empty() ? "" : " AND ") + column + " = ?";
        }
        while (true) {
            const int result = sqlite3_step(raw);
            if (result == SQLITE_DONE) {
                return;
            }
            if (result != SQLITE_ROW || late()) {
                stop(late() ? lateReason() : rule.name + ": " + sqlite3_errmsg(source_));
                return;
            }
            std::vector<OptionalSQLiteValue> values;
            for (std::size_t index = 0; index < names.size(); ++index) {
                auto value = fitted(cursor, static_cast<int>(index), affinities[index]);
                if (!value) {
                    break;
                }
                values.push_back(std::move(*value));
            }
            if (values.size() != names.size() || !values[static_cast<std::size_t>(id)]) {
                continue;
            }
            if (reference >= 0) {
                auto& value = values[static_cast<std::size_t>(reference)];
                const auto carried =
                    value ? rule.referenced->find(std::get<int64_t>(*value)) : rule.referenced->end();
                if (carried == rule.referenced->end()) {
                    continue;
                }
                value = SQLiteValue(carried->second);
            }
            const int64_t oldId = std::get<int64_t>(*values[static_cast<std::size_t>(id)]);
            std::vector<OptionalSQLiteValue> keyValues;
            for (const auto& column : rule.key) {
                keyValues.push_back(values[static_cast<std::size_t>(position(column))]);
            }
            write(rule, insert, std::move(values), oldId, lookup, keyValues);
        }
    }

    void write(const TableRule& rule, Statement& insert, std::vector<OptionalSQLiteValue> values,
               int64_t oldId, const std::string& lookup, const std::vector<OptionalSQLiteValue>& keyValues) {
        int64_t changed = 0;
        target_.serialized([&] {
            insert.run(values);
            changed = target_.changes();
        });
        if (changed == 1) {
            ++pending_[current_];
            if (rule.ids) {
                rule.ids->emplace(oldId, oldId);
            }
        } else if (rule.ids && !lookup.empty()) {
            // Refused for its key: the row carried with that key stands for it.
            Statement existing(target_, "SELECT id FROM " + rule.name + " WHERE " + lookup, keyValues);
            if (existing.step()) {
                if (const auto kept = rowInteger(existing.cursor().row(), 0)) {
                    rule.ids->emplace(oldId, *kept);
                }
            }
        }
        if (++sinceCommit_ >= kRowsPerCommit) {
            commit(true);
        }
    }

    // A project's active user that was not carried would point at nothing, or at a row another user takes.
    void forgetActiveUsersNotCarried(const Ids& users) {
        std::vector<std::pair<int64_t, OptionalSQLiteValue>> changes;
        Statement projects(target_, "SELECT id, activeUserId FROM projects WHERE activeUserId IS NOT NULL");
        while (projects.step()) {
            const auto row = projects.cursor().row();
            const auto project = rowInteger(row, 0);
            const auto active = rowInteger(row, 1);
            const auto carried = active ? users.find(*active) : users.end();
            if (!project || (carried != users.end() && carried->second == *active)) {
                continue;
            }
            changes.emplace_back(*project, carried != users.end() ? OptionalSQLiteValue(carried->second)
                                                                  : OptionalSQLiteValue{});
        }
        for (const auto& [project, active] : changes) {
            Statement(target_, "UPDATE projects SET activeUserId = ? WHERE id = ?",
                      {active, SQLiteValue(project)})
                .run();
        }
    }

    sqlite3* source_;
    Connection& target_;
    Clock::time_point deadline_;
    std::chrono::milliseconds budget_;
    std::vector<std::pair<std::string, int64_t>> carried_;
    // Rows written since the last commit, per table.
    std::vector<int64_t> pending_;
    std::size_t current_ = 0;
    int64_t sinceCommit_ = 0;
    std::string stoppedBy_;
};

}  // namespace

const std::vector<std::string>& RowSalvage::tables() {
    static const auto& names = *new std::vector<std::string>{"projects", "users", "reports", "events"};
    return names;
}

RowSalvage::Outcome RowSalvage::carry(const std::filesystem::path& source, Connection& target,
                                      std::chrono::milliseconds budget) {
    const auto deadline = Clock::now() + budget;
    sqlite3* raw = nullptr;
    // Read-only: nothing of the file is written, and no checkpoint folds its log into it at closing.
    const int opened = sqlite3_open_v2(source.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)> file(raw, &sqlite3_close_v2);
    if (opened != SQLITE_OK) {
        return {{}, raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(opened)};
    }
    // A step that keeps reading past the bound (a long run of pages) is interrupted.
    Clock::time_point bound = deadline;
    sqlite3_progress_handler(
        raw, 1000, [](void* at) { return Clock::now() >= *static_cast<Clock::time_point*>(at) ? 1 : 0; },
        &bound);
    // Checks each cell against its page before using it: a damaged page fails sooner, not later.
    sqlite3_exec(raw, "PRAGMA cell_size_check = ON", nullptr, nullptr, nullptr);
    return target.serialized([&] { return Salvage(raw, target, deadline, budget).run(); });
}

}  // namespace zqb

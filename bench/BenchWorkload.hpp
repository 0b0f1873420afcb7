#pragma once

// The usual workload of the benchmarks that measure the library as a host sees it, and a reader of the
// database file of its own, as an application's tooling would open it beside the library.

#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace zqb::bench {

// One custom event with a text, an integer and a boolean, the parameter set built by the caller as a user
// writes it, inside whatever the caller times.
inline void recordMatchFinished(int64_t score, const char* name = "match_finished") {
    ZQBCustomEventParameters parameters;
    parameters.add("mode", "duel");
    parameters.add("score", score);
    parameters.add("hard_mode", true);
    ZQBAnalytics::customEvent(name, parameters);
}

// A read-only connection of its own to the database file. It is opened at the first look that finds the
// file with its events table, so it can be asked before the library has created either.
class FileReader {
public:
    explicit FileReader(std::filesystem::path file) : file_(std::move(file)) {}
    ~FileReader() { close(); }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // The newest row id of the events table, -1 while the file or the table cannot be read.
    int64_t newestRow() {
        int64_t newest = -1;
        query("SELECT ifnull(max(id), 0) FROM events", [&](sqlite3_stmt* statement) {
            newest = sqlite3_column_int64(statement, 0);
            return false;
        });
        return newest;
    }

    // The number of events stored after row `after`, -1 while they cannot be read.
    int64_t countAfter(int64_t after) {
        int64_t count = -1;
        query("SELECT count(*) FROM events WHERE id > " + std::to_string(after),
              [&](sqlite3_stmt* statement) {
                  count = sqlite3_column_int64(statement, 0);
                  return false;
              });
        return count;
    }

    // Whether one of the newest rows holds `text`.
    bool newestRowsHold(std::string_view text) {
        bool found = false;
        query("SELECT eventJson FROM events ORDER BY id DESC LIMIT 16", [&](sqlite3_stmt* statement) {
            const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            found = bytes != nullptr && std::string_view(bytes).find(text) != std::string_view::npos;
            return !found;
        });
        return found;
    }

private:
    // Runs `sql` and hands each row to `row` while it returns true. A statement that cannot be prepared
    // (no file, no table yet) closes the connection, so the next look opens it afresh.
    template <typename Row>
    void query(const std::string& sql, Row&& row) {
        if (handle_ == nullptr &&
            sqlite3_open_v2(file_.c_str(), &handle_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            close();
            return;
        }
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(handle_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            sqlite3_finalize(statement);
            close();
            return;
        }
        while (sqlite3_step(statement) == SQLITE_ROW && row(statement)) {
        }
        sqlite3_finalize(statement);
    }

    void close() {
        sqlite3_close(handle_);
        handle_ = nullptr;
    }

    std::filesystem::path file_;
    sqlite3* handle_ = nullptr;
};

}  // namespace zqb::bench

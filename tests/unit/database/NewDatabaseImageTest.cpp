// The new database's files kept in the source are those the schema's statements make: a schema change whose
// image was not made again would give every new device the former tables.
#include "database/NewDatabaseImage.hpp"
#include "database/NewDatabaseImageMaker.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <string>
#include <vector>

namespace zqb {
namespace {

namespace fs = std::filesystem;

// The SQLite release that last wrote a database file, from its header.
int writerVersion(std::string_view file) {
    int version = 0;
    for (std::size_t i = 96; i < 100 && i < file.size(); ++i) {
        version = version * 256 + static_cast<unsigned char>(file[i]);
    }
    return version;
}

// What the files hold as SQLite reads them: the schema's rows, the version and the journal mode.
std::vector<std::string> readBack(const fs::path& folder, std::string_view file, std::string_view log) {
    fs::create_directories(folder);
    const fs::path path = folder / "new.db";
    std::ofstream(path, std::ios::binary) << file;
    std::ofstream(path.string() + "-wal", std::ios::binary) << log;
    sqlite3* connection = nullptr;
    std::vector<std::string> rows;
    if (sqlite3_open_v2(path.c_str(), &connection, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(connection);
        sqlite3_close(connection);
        return rows;
    }
    const auto collect = [](void* into, int columns, char** values, char**) {
        std::string row;
        for (int i = 0; i < columns; ++i) {
            row += std::string(values[i] != nullptr ? values[i] : "NULL") + "|";
        }
        static_cast<std::vector<std::string>*>(into)->push_back(row);
        return 0;
    };
    for (const char* query : {"SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY type, name",
                              "PRAGMA user_version", "PRAGMA journal_mode", "PRAGMA page_size"}) {
        char* message = nullptr;
        if (sqlite3_exec(connection, query, collect, &rows, &message) != SQLITE_OK) {
            ADD_FAILURE() << query << ": " << (message != nullptr ? message : "error");
            sqlite3_free(message);
        }
    }
    sqlite3_close(connection);
    return rows;
}

TEST(NewDatabaseImage, IsWhatTheSchemaStatementsMake) {
    const test::TempDir dir;
    const auto made = NewDatabaseImageMaker::make(dir.path() / "making");
    ASSERT_TRUE(made.has_value());
    const char* stale =
        "src/database/NewDatabaseImage.cpp no longer matches the schema's statements: build the target "
        "zqb_new_database_image_update and commit the source it writes";
    // The header and the log's copy of it name the SQLite release that wrote them: with the release that made
    // the kept files, the making gives the same bytes; with another, the same schema.
    if (writerVersion(NewDatabaseImage::file()) == sqlite3_libversion_number()) {
        EXPECT_TRUE(made->file == NewDatabaseImage::file()) << stale;
        EXPECT_TRUE(made->log == NewDatabaseImage::log()) << stale;
    }
    const auto kept = readBack(dir.path() / "kept", NewDatabaseImage::file(), NewDatabaseImage::log());
    EXPECT_EQ(readBack(dir.path() / "new", made->file, made->log), kept) << stale;
    EXPECT_GT(kept.size(), 4U);
}

}  // namespace
}  // namespace zqb

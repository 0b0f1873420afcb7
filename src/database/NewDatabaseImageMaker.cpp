// Makes the files of a new database, as SQLite leaves them, and writes them as the C++ source of
// `NewDatabaseImage`. Run while the library is built: zqb_new_database_image <source to write>
#include "database/SQLiteContracts.hpp"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

bool execute(sqlite3* connection, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(connection, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "zqb_new_database_image: %s\n", message != nullptr ? message : "SQLite error");
        sqlite3_free(message);
        return false;
    }
    return true;
}

bool make(const std::filesystem::path& file) {
    using zqb::SQLiteContracts;
    // The same bytes at every build: the log's salts come from SQLite's generator, seeded here.
    sqlite3_test_control(SQLITE_TESTCTRL_PRNG_SEED, 1, nullptr);
    sqlite3* connection = nullptr;
    if (sqlite3_open_v2(file.c_str(), &connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        std::fprintf(stderr, "zqb_new_database_image: cannot create %s\n", file.c_str());
        sqlite3_close(connection);
        return false;
    }
    const std::string version = "PRAGMA user_version = " + std::to_string(SQLiteContracts::currentVersion);
    // One transaction, no journal: the tables as every step leaves them, made at once, and the version.
    std::string schema =
        "PRAGMA locking_mode=EXCLUSIVE; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN IMMEDIATE;\n";
    for (const auto& table : SQLiteContracts::tablesAsKept()) {
        schema += table.statement + ";\n";
    }
    bool made = execute(connection, schema + version + "; COMMIT") &&
                // The mode the opening wants, so that it finds the file in it.
                execute(connection, "PRAGMA journal_mode=WAL");
    if (made) {
        // A log that starts empty has its header written and synced, with the folder, by the first commit:
        // the first event would wait for the disk twice. So the log is begun here and kept: one committed
        // frame (the version again), which the closing copies into the file.
        int keep = 1;
        sqlite3_file_control(connection, "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
        made = execute(connection, version);
    }
    return sqlite3_close(connection) == SQLITE_OK && made;
}

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeArray(std::ostream& out, const char* name, const std::string& bytes) {
    out << "alignas(8) constexpr unsigned char " << name << "[] = {";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out << (i % 24 == 0 ? "\n   " : "") << ' '
            << static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) << ',';
    }
    out << "\n};\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zqb_new_database_image <source to write>\n");
        return 2;
    }
    const std::filesystem::path source = argv[1];
    const std::filesystem::path folder = source.parent_path() / "new-database-image";
    const std::filesystem::path file = folder / "new.db";
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    std::filesystem::create_directories(folder, error);
    if (!make(file)) {
        return 1;
    }
    const std::string database = contents(file);
    const std::string log = contents(file.string() + "-wal");
    if (database.empty() || log.empty() || std::filesystem::exists(file.string() + "-journal")) {
        std::fprintf(stderr, "zqb_new_database_image: the creation did not leave a file and its log\n");
        return 1;
    }
    std::ostringstream out;
    out << "// Made by zqb_new_database_image while the library was built; not to be edited.\n"
        << "#include \"database/NewDatabaseImage.hpp\"\n\n#include <cstddef>\n\nnamespace zqb {\nnamespace "
           "{\n\n";
    writeArray(out, "kFile", database);
    out << "\n";
    writeArray(out, "kLog", log);
    out << "\n}  // namespace\n\n"
        << "std::string_view NewDatabaseImage::file() {\n"
        << "    return {reinterpret_cast<const char*>(kFile), sizeof kFile};\n}\n\n"
        << "std::string_view NewDatabaseImage::log() {\n"
        << "    return {reinterpret_cast<const char*>(kLog), sizeof kLog};\n}\n\n"
        << "}  // namespace zqb\n";
    std::ofstream(source, std::ios::binary | std::ios::trunc) << out.str();
    std::filesystem::remove_all(folder, error);
    return std::filesystem::file_size(source, error) > 0 && !error ? 0 : 1;
}

#include "database/NewDatabaseImageMaker.hpp"

#include "database/SQLiteContracts.hpp"

#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace zqb {
namespace {

bool execute(sqlite3* connection, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(connection, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "new database image: %s\n", message != nullptr ? message : "SQLite error");
        sqlite3_free(message);
        return false;
    }
    return true;
}

bool create(const std::filesystem::path& file) {
    // The same bytes at every making: the log's salts come from SQLite's generator, seeded here.
    sqlite3_test_control(SQLITE_TESTCTRL_PRNG_SEED, 1, nullptr);
    sqlite3* connection = nullptr;
    if (sqlite3_open_v2(file.c_str(), &connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        std::fprintf(stderr, "new database image: cannot create %s\n", file.c_str());
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

// A zero stretch this long ends a run; shorter ones are written out within it.
constexpr std::size_t kZerosBetweenRuns = 16;
constexpr std::size_t kLiteralWidth = 96;

void writeRuns(std::ostream& out, const char* name, const std::string& bytes) {
    out << "constexpr ByteRun " << name << "Runs[] = {\n";
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (bytes[at] == '\0') {
            ++at;
            continue;
        }
        std::size_t end = at;
        std::size_t zeros = 0;
        for (std::size_t i = at; i < bytes.size() && zeros < kZerosBetweenRuns; ++i) {
            zeros = bytes[i] == '\0' ? zeros + 1 : 0;
            if (zeros == 0) {
                end = i + 1;
            }
        }
        out << "    {" << at << ",\n     \"";
        std::size_t width = 0;
        for (std::size_t i = at; i < end; ++i) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            char escaped[8];
            if (byte >= 0x20 && byte < 0x7f && byte != '"' && byte != '\\') {
                escaped[0] = static_cast<char>(byte);
                escaped[1] = '\0';
            } else {
                // Three octal digits always, so that a digit after it is never read as part of it.
                std::snprintf(escaped, sizeof escaped, "\\%03o", byte);
            }
            const std::string_view text(escaped);
            if (width + text.size() > kLiteralWidth) {
                out << "\"\n     \"";
                width = 0;
            }
            out << text;
            width += text.size();
        }
        out << "\"sv},\n";
        at = end;
    }
    out << "};\n"
        << "alignas(8) constexpr auto " << name << " = spreadByteRuns<" << bytes.size() << ">(" << name
        << "Runs);\n";
}

}  // namespace

std::optional<NewDatabaseImageMaker::Files> NewDatabaseImageMaker::make(const std::filesystem::path& folder) {
    const std::filesystem::path file = folder / "new.db";
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    std::filesystem::create_directories(folder, error);
    std::optional<Files> files;
    if (create(file)) {
        files = Files{contents(file), contents(file.string() + "-wal")};
        if (files->file.empty() || files->log.empty() ||
            std::filesystem::exists(file.string() + "-journal")) {
            std::fprintf(stderr, "new database image: the creation did not leave a file and its log\n");
            files.reset();
        }
    }
    std::filesystem::remove_all(folder, error);
    return files;
}

std::string NewDatabaseImageMaker::source(const Files& files) {
    std::ostringstream out;
    out << "// Made by zqb_new_database_image from the schema's statements; not to be edited (see\n"
        << "// NewDatabaseImage.hpp).\n"
        << "// clang-format off\n"
        << "#include \"database/NewDatabaseImage.hpp\"\n\n"
        << "#include \"database/ByteRuns.hpp\"\n\n"
        << "namespace zqb {\nnamespace {\n\nusing namespace std::string_view_literals;\n\n";
    writeRuns(out, "kFile", files.file);
    out << "\n";
    writeRuns(out, "kLog", files.log);
    out << "\n}  // namespace\n\n"
        << "std::string_view NewDatabaseImage::file() {\n"
        << "    return {kFile.data(), kFile.size()};\n}\n\n"
        << "std::string_view NewDatabaseImage::log() {\n"
        << "    return {kLog.data(), kLog.size()};\n}\n\n"
        << "}  // namespace zqb\n";
    return out.str();
}

}  // namespace zqb

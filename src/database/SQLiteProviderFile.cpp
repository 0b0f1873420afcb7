#include "database/SQLiteProvider.hpp"

#include "database/Connection.hpp"
#include "database/RowSalvage.hpp"
#include "database/SQLiteError.hpp"
#include "database/SQLiteProviderSupport.hpp"
#include "database/Statement.hpp"
#include "foundation/Logger.hpp"
#include "host/AtomicFile.hpp"
#include "host/FileLock.hpp"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <system_error>

namespace zqb {

using provider_support::kCompanions;
using provider_support::logOf;
using provider_support::UnusableFile;

namespace {

// The system's reason why this process cannot write the file, or in the folder, at `path`, if it cannot;
// nothing for a missing file whose folder may be written.
std::optional<std::string> writeRefusal(const std::filesystem::path& path, bool folder) {
    const auto reason = [](int code) { return std::error_code(code, std::generic_category()).message(); };
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? std::nullopt : std::optional(reason(errno));
    }
    if (S_ISDIR(info.st_mode) != folder) {
        return reason(folder ? ENOTDIR : EISDIR);
    }
    if (::faccessat(AT_FDCWD, path.c_str(), folder ? W_OK | X_OK : R_OK | W_OK, AT_EACCESS) != 0) {
        return reason(errno);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> SQLiteProvider::folderPath(const host::FilesProtocol& files) {
    const std::filesystem::path support = files.applicationSupportDirectory();
    if (support.empty()) {
        return std::nullopt;
    }
    return support / folderName;
}

// Whatever fails here is reported by the handler at the end, which names the file or folder and the reason.
SQLiteProvider::SQLiteProvider(const host::FilesProtocol& files, const host::ClockProtocol& clock) try {
    const auto folder = folderPath(files);
    if (!folder) {
        throw SQLiteError("SQLite error", SQLITE_ERROR);
    }
    std::error_code ignored;
    if (!std::filesystem::exists(*folder, ignored)) {
        Logger::writeLog(ZQBLogLevel::debug, "[Database Module] It's a clean launch of the SDK");
        createFolder(*folder);
    } else {
        Logger::writeLog(ZQBLogLevel::debug, "[Database Module] Trying to load database");
        keepPrivate(*folder);
        removeUnfinishedCreations(*folder);
    }
    const std::filesystem::path file = *folder / fileName;
    try {
        openOrCreate(file);
    } catch (const UnusableFile& unusable) {
        // Left in place, the file would keep every later launch from recording anything.
        close();
        {
            const host::FileLock placing(*folder);
            // Another process that met the same file may have moved it aside already, and put a new one in
            // its place that it is using now: that one stays.
            if (opened_ && identityOf(file) == opened_) {
                moveAside(file, unusable.what(), unusable.label, clock);
            }
            create(file);
        }
        open(file);
        carryReadableRows(file);
    }
} catch (const std::exception& error) {
    reportOpeningFailure(files, error);
    // The handler of a constructor's try block passes the exception on.
}

void SQLiteProvider::createFolder(const std::filesystem::path& folder) {
    std::error_code error;
    if (!host::AtomicFile::ensureDirectory(folder, host::kPrivateFolderMode, &error)) {
        throw std::filesystem::filesystem_error("cannot create the data folder", folder, error);
    }
}

void SQLiteProvider::keepPrivate(const std::filesystem::path& folder) {
    // Earlier versions left the folder and the database open to other users.
    host::AtomicFile::restrictMode(folder, host::kPrivateFolderMode);
    const std::filesystem::path file = folder / fileName;
    host::AtomicFile::restrictMode(file, host::kPrivateFileMode);
    for (const char* suffix : kCompanions) {
        host::AtomicFile::restrictMode(file.string() + suffix, host::kPrivateFileMode);
    }
}

void SQLiteProvider::reportOpeningFailure(const host::FilesProtocol& files, const std::exception& error) {
    const auto folder = folderPath(files);
    if (!folder) {
        // No application-support directory: the files stand-in said why.
        return;
    }
    const std::filesystem::path file = *folder / fileName;
    const auto* refused = dynamic_cast<const std::filesystem::filesystem_error*>(&error);
    std::string line;
    if (refused != nullptr && refused->path1() == *folder) {
        line = "Cannot create the data folder " + folder->string() + ": " + refused->code().message();
    } else if (const auto reason = writeRefusal(file, false)) {
        line = "Cannot open the database " + file.string() + ": " + *reason;
    } else if (const auto folderReason = writeRefusal(*folder, true)) {
        // The file may be written, but not the journal, log and index SQLite keeps beside it.
        line = "Cannot write in the data folder " + folder->string() + ": " + *folderReason;
    } else {
        line = "Cannot open the database " + file.string() + ": " + error.what();
    }
    Logger::writeLog(ZQBLogLevel::error, "[Database Module] " + line);
}

SQLiteProvider::~SQLiteProvider() {
    // A group still open (its commit was posted behind the operation releasing the provider) is committed,
    // not dropped with the connection.
    closeForGood();
}

void SQLiteProvider::openOrCreate(const std::filesystem::path& file) {
    std::error_code unknown;
    if (!std::filesystem::exists(file, unknown) && !unknown) {
        // Two processes may make their first launch together (a launcher and the game): each new file is
        // put in place under the folder's lock, or the second would take away the log the first commits
        // into.
        const host::FileLock placing(file.parent_path());
        create(file);
    }
    open(file);
}

std::optional<SQLiteProvider::FileIdentity> SQLiteProvider::identityOf(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

void SQLiteProvider::open(const std::filesystem::path& file) {
    opened_ = identityOf(file);
    database_ = std::make_unique<Connection>(file.string());
    group_ = std::make_unique<WriteGroup>(*database_,
                                          [this](const WriteGroup::JournaledWrite& entry) { replay(entry); });
    try {
        // The log and index SQLite keeps beside the file outlive each launch, so opening may find them and
        // need to make nothing in the folder; but a later launch, or another connection that closes last,
        // has to. A folder that may not be written fails the opening, not some write later on.
        if (writeRefusal(file.parent_path(), true)) {
            throw SQLiteError("attempt to write a readonly database", SQLITE_READONLY);
        }
        configure();
        migrate();
    } catch (const SQLiteError& error) {
        const int code = error.code() & 0xff;
        if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT) {
            throw UnusableFile(error.what(), "damaged");
        }
        throw;
    }
}

void SQLiteProvider::close() {
    if (database_) {
        // A damaged file keeps its write-ahead log as it is: it goes aside with it, unmerged.
        sqlite3_db_config(database_->handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
    group_.reset();
    statementCache_.clear();
    database_.reset();
}

void SQLiteProvider::moveAside(const std::filesystem::path& file, const std::string& reason,
                               const std::string& label, const host::ClockProtocol& clock) {
    const int64_t now = host::millisecondsSince1970(clock);
    const std::time_t seconds = static_cast<std::time_t>(now / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    const std::string base = file.string() + "." + label + "-" + stamp;
    std::filesystem::path moved = base;
    for (int attempt = 2; std::filesystem::exists(moved) || std::filesystem::exists(logOf(moved));
         ++attempt) {
        moved = base + "-" + std::to_string(attempt);
    }
    std::filesystem::rename(file, moved);
    for (const char* companion : kCompanions) {
        const std::filesystem::path from = file.string() + companion;
        std::error_code missing;
        if (std::filesystem::exists(from, missing)) {
            std::filesystem::rename(from, moved.string() + companion);
        }
    }
    movedAside_ = moved;
    // Opening fails on the first statements that read the file: its failure is logged as a query's.
    Logger::writeLog(ZQBLogLevel::error, std::string("[Database Module] ") + kQueryFailure + reason +
                                             "; the file " + file.string() + " was moved to " +
                                             moved.string() + " and a new database was created");
}

void SQLiteProvider::carryReadableRows(const std::filesystem::path& file) {
    if (!movedAside_) {
        return;
    }
    const auto outcome = RowSalvage::carry(*movedAside_, *database_);
    std::string counts;
    for (const auto& [table, count] : outcome.carried) {
        counts += (counts.empty() ? "" : ", ") + table + " " + std::to_string(count);
    }
    Logger::writeLog(ZQBLogLevel::warning,
                     "[Database Module] The rows that could still be read were carried from " +
                         movedAside_->string() + " into " + file.string() + ": " + counts +
                         (outcome.stoppedBy.empty() ? "" : "; reading stopped: " + outcome.stoppedBy));
}

}  // namespace zqb

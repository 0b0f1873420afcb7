#include "database/SQLiteProvider.hpp"

#include "database/NewDatabaseImage.hpp"
#include "database/SQLiteError.hpp"
#include "database/SQLiteProviderSupport.hpp"
#include "host/AtomicFile.hpp"
#include "host/FileLock.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <vector>

namespace zqb {

using provider_support::kCompanions;
using provider_support::logOf;

namespace {

void removeCompanions(const std::filesystem::path& file) {
    std::error_code missing;
    for (const char* suffix : kCompanions) {
        std::filesystem::remove(file.string() + suffix, missing);
    }
}

// A database file and its companions.
void removeDatabaseFiles(const std::filesystem::path& file) {
    std::error_code missing;
    std::filesystem::remove(file, missing);
    removeCompanions(file);
}

// Who may give a name to a file while it is being moved there.
enum class Rivals {
    // Only processes that hold the folder's lock, as the mover does: where the file system cannot refuse
    // to replace, the name is checked first instead.
    locking,
    // Any process, without asking: where the file system cannot refuse to replace, nothing is moved.
    any,
};

// Gives `from` the name `to` unless a file has that name already (false then, and also where nothing could
// be moved safely).
bool renameUnlessTaken(const std::filesystem::path& from, const std::filesystem::path& to, Rivals rivals) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    const int reason = errno;
    if (reason == EEXIST) {
        return false;
    }
    if (reason != EINVAL && reason != ENOSYS) {
        throw std::filesystem::filesystem_error("cannot put the new database in place", from, to,
                                                std::error_code(reason, std::generic_category()));
    }
    if (rivals == Rivals::any || std::filesystem::exists(to)) {
        return false;
    }
    std::filesystem::rename(from, to);
    return true;
}

// Writes `bytes` as a new file through SQLite's file layer, as SQLite would have written them; private to
// this user.
void writeNewFile(const std::filesystem::path& path, std::string_view bytes) {
    std::error_code error;
    if (!host::AtomicFile::createFile(path, host::kPrivateFileMode, &error)) {
        throw std::filesystem::filesystem_error("cannot create the new database", path, error);
    }
    sqlite3_vfs* const vfs = sqlite3_vfs_find(nullptr);
    if (vfs == nullptr) {
        throw SQLiteError("no file system", SQLITE_ERROR);
    }
    std::vector<std::max_align_t> storage(static_cast<std::size_t>(vfs->szOsFile) / sizeof(std::max_align_t) +
                                          1);
    auto* const handle = reinterpret_cast<sqlite3_file*>(storage.data());
    int opened = 0;
    int result = vfs->xOpen(vfs, path.c_str(), handle,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_MAIN_DB, &opened);
    if (result == SQLITE_OK) {
        result = handle->pMethods->xWrite(handle, bytes.data(), static_cast<int>(bytes.size()), 0);
    }
    if (handle->pMethods != nullptr) {
        handle->pMethods->xClose(handle);
    }
    if (result != SQLITE_OK) {
        throw SQLiteError("cannot write the new database", result);
    }
}

}  // namespace

void SQLiteProvider::create(const std::filesystem::path& file) {
    // Under the folder's lock: another process that found no file either may have put its new one in place
    // meanwhile, and be committing into its log already. That file is the one to open.
    std::error_code unknown;
    if (std::filesystem::exists(file, unknown) || unknown) {
        return;
    }
    const std::filesystem::path building = file.string() + creationSuffix + std::to_string(::getpid());
    removeDatabaseFiles(building);
    try {
        // Built in place, the file would wait for the disk before the first event is stored (the switch to
        // the write-ahead log alone syncs a journal, the folder and the file). Under its own name nothing
        // needs the disk before the file is complete, and a crash leaves only these files behind, removed at
        // the next start. The file and its begun log are those the creation left when the library was built:
        // the same bytes, without the statements' parsing and planning.
        writeNewFile(building, NewDatabaseImage::file());
        writeNewFile(logOf(building), NewDatabaseImage::log());
        // The file's content reaches the disk before its name does, so the name never stands for less. Its
        // log holds nothing the file does not: whether it reaches the disk or not, the file reads the same.
        if (!host::AtomicFile::sync(building)) {
            throw SQLiteError("disk I/O error", SQLITE_IOERR_FSYNC);
        }
        // A journal, log or index under the final name without its file belongs to no file (a start cut
        // short while a damaged file was moved aside, files removed by hand): SQLite would read it into the
        // new one. No process is using them: every file is put in place, or moved aside, under the lock.
        removeCompanions(file);
        if (!renameUnlessTaken(building, file, Rivals::locking)) {
            // A process that creates without the lock (an earlier version) did meanwhile: its file is the
            // one to open.
            removeDatabaseFiles(building);
            return;
        }
        // The log follows the file it belongs to, never ahead of it. Another process that opened the file
        // meanwhile, without the lock it needs not, has a log of its own, which stays; ours is then dropped,
        // which only costs the first commit its syncs.
        try {
            renameUnlessTaken(logOf(building), logOf(file), Rivals::any);
        } catch (const std::filesystem::filesystem_error&) {
        }
    } catch (...) {
        removeDatabaseFiles(building);
        throw;
    }
    // A log that could not follow is removed. The folder is not synced for the new names: SQLite syncs it
    // with the log's first sync, and until then the commits themselves are not on the disk either (the log
    // is synced at its checkpoints only).
    removeDatabaseFiles(building);
}

void SQLiteProvider::removeUnfinishedCreations(const std::filesystem::path& folder) {
    const std::string prefix = std::string(fileName) + creationSuffix;
    std::vector<std::filesystem::path> leftovers;
    std::error_code error;
    try {
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(prefix, 0) != 0) {
                continue;
            }
            // The id of the process that built it, followed by the suffix of a journal or log, if any.
            const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
            // A creation still under way in another process is left to it (an earlier version creates
            // without the lock).
            if (pid > 0 && pid != ::getpid() && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) {
                continue;
            }
            leftovers.push_back(entry.path());
        }
    } catch (const std::filesystem::filesystem_error&) {
        // A folder that cannot be listed is met again, with its own error, when the file is opened.
    }
    if (leftovers.empty()) {
        return;
    }
    // Under the folder's lock no creation is under way, here or in a process whose id means something else
    // here (another process namespace).
    const host::FileLock creating(folder);
    for (const auto& leftover : leftovers) {
        std::filesystem::remove(leftover, error);
    }
}

}  // namespace zqb

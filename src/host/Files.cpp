#include "host/Files.hpp"

#include "foundation/Logger.hpp"
#include "host/AtomicFile.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <set>
#include <string>
#include <system_error>

namespace zqb::host {

Files::Files(std::function<std::string()> bundleIdentifier)
    : bundleIdentifier_(std::move(bundleIdentifier)) {}

std::filesystem::path Files::applicationSupportDirectory() const {
    {
        std::lock_guard lock(mutex_);
        if (override_) {
            return *override_;
        }
    }
    const std::filesystem::path userData = userDataDirectory();
    if (userData.empty()) {
        return {};
    }
    std::string identifier = bundleIdentifier_ ? bundleIdentifier_() : std::string();
    // The identifier names one folder; anything that would climb out of the data directory, or that the
    // system would cut short (a NUL byte), is replaced.
    if (identifier.empty() || identifier == "." || identifier == ".." ||
        identifier.find('/') != std::string::npos || identifier.find('\0') != std::string::npos) {
        identifier = "application";
    }
    if (userData == fallbackFolder()) {
        adoptEarlierFallback(userData, identifier);
    }
    return userData / identifier;
}

void Files::setApplicationSupportDirectory(std::optional<std::filesystem::path> directory) {
    std::lock_guard lock(mutex_);
    override_ = std::move(directory);
}

std::filesystem::path Files::userDataDirectory() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        return std::filesystem::path(xdg);
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        std::error_code error;
        if (std::filesystem::is_directory(home, error)) {
            return std::filesystem::path(home) / ".local" / "share";
        }
    }
    return fallbackDataDirectory();
}

namespace {

// Logs each line once in the process: every start-up, keychain access and vendor-identifier lookup asks for
// the folder, and one line says what there is to say. Never destroyed: a library thread may ask while the
// process exits.
void logOnce(ZQBLogLevel level, const std::string& line) {
    struct Reported {
        std::mutex mutex;
        std::set<std::string> lines;
    };
    static Reported& reported = *new Reported;
    {
        std::lock_guard lock(reported.mutex);
        if (!reported.lines.insert(line).second) {
            return;
        }
    }
    Logger::writeLog(level, line);
}

}  // namespace

std::filesystem::path Files::fallbackFolder() {
    std::error_code error;
    std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    if (error || temporary.is_relative()) {
        temporary = "/tmp";
    }
    return temporary / ("vorantel-" + std::to_string(::geteuid()));
}

void Files::adoptEarlierFallback(const std::filesystem::path& folder, const std::string& name) {
    if (name == folder.filename()) {
        return;
    }
    const std::filesystem::path earlier = folder.parent_path() / name;
    const std::filesystem::path now = folder / name;
    struct stat info {};
    // Only a real folder of this user's: anything else there may be another user's bait. The temporary
    // folder's sticky bit keeps others from swapping it between this look and the move.
    if (::lstat(earlier.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        return;
    }
    if (::lstat(now.c_str(), &info) == 0 || errno != ENOENT) {
        return;
    }
    if (::rename(earlier.c_str(), now.c_str()) != 0) {
        logOnce(ZQBLogLevel::error, "[Platform] The data an earlier version kept in " + earlier.string() +
                                        " cannot be moved to " + now.string() + ": " +
                                        std::error_code(errno, std::generic_category()).message());
        return;
    }
    std::error_code error;
    AtomicFile::restrictMode(now, kPrivateFolderMode);
    for (std::filesystem::recursive_directory_iterator entry(now, error), end; !error && entry != end;
         entry.increment(error)) {
        AtomicFile::restrictMode(entry->path(),
                                 entry->is_directory(error) ? kPrivateFolderMode : kPrivateFileMode);
    }
    logOnce(ZQBLogLevel::warning, "[Platform] The data an earlier version kept in " + earlier.string() +
                                      " was moved to " + now.string());
}

std::filesystem::path Files::fallbackDataDirectory() {
    std::error_code error;
    const std::filesystem::path folder = fallbackFolder();
    // Anyone may make a folder there: one made by another user, or a link to one, would hand them the data.
    std::string refusal;
    struct stat info {};
    if (!AtomicFile::ensureDirectory(folder, kPrivateFolderMode, &error)) {
        refusal = error.message();
    } else if (::lstat(folder.c_str(), &info) != 0) {
        refusal = std::error_code(errno, std::generic_category()).message();
    } else if (!S_ISDIR(info.st_mode)) {
        refusal = "it is not a folder";
    } else if (info.st_uid != ::geteuid()) {
        refusal = "it belongs to another user";
    } else {
        AtomicFile::restrictMode(folder, kPrivateFolderMode);
    }
    const std::string neither = "[Platform] Neither XDG_DATA_HOME nor HOME names a usable folder";
    if (!refusal.empty()) {
        logOnce(ZQBLogLevel::error,
                neither + ", and " + folder.string() + " cannot hold the library's data: " + refusal);
        return {};
    }
    logOnce(ZQBLogLevel::warning,
            neither + "; the library keeps its data in " + folder.string() + ", which the system may clear");
    adoptEarlierFallback(folder, kKeychainFolderName);
    return folder;
}

}  // namespace zqb::host

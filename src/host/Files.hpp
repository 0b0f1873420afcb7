#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>

namespace zqb::host {

// The folder beside the applications' data folders that holds the file keychain and the vendor identifiers,
// so that they outlive an application's data folder.
inline constexpr const char* kKeychainFolderName = "vorantel-keychain";

// Where the application keeps its support files. The library puts its data folder below it.
class FilesProtocol {
public:
    virtual ~FilesProtocol() = default;
    virtual std::filesystem::path applicationSupportDirectory() const = 0;
};

// Linux default: $XDG_DATA_HOME (or ~/.local/share), then the bundle identifier, so that two applications
// never share one folder. A host may set the directory itself. Empty when there is no user data directory.
class Files final : public FilesProtocol {
public:
    explicit Files(std::function<std::string()> bundleIdentifier);
    std::filesystem::path applicationSupportDirectory() const override;
    void setApplicationSupportDirectory(std::optional<std::filesystem::path> directory);

    // The user's data directory: $XDG_DATA_HOME, else $HOME/.local/share, else `fallbackDataDirectory()`.
    // Variables that are not absolute paths, and a HOME that is no folder, are not used.
    static std::filesystem::path userDataDirectory();

    // "vorantel-<user id>" in the temporary directory, created private and used only while it is a folder
    // of this user's (empty otherwise). The folder, or why it cannot serve, is logged once.
    static std::filesystem::path fallbackDataDirectory();

private:
    // "vorantel-<user id>" in the temporary directory, as a name only.
    static std::filesystem::path fallbackFolder();
    // Earlier versions kept the fallback's folders right in the temporary directory, open to every user:
    // the first use of the private folder moves the one named `name` into it, with its unsent events and
    // device identifiers, and makes it private.
    static void adoptEarlierFallback(const std::filesystem::path& folder, const std::string& name);

    std::function<std::string()> bundleIdentifier_;
    mutable std::mutex mutex_;
    std::optional<std::filesystem::path> override_;
};

}  // namespace zqb::host

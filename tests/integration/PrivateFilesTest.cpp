// The library's folders and files are its user's alone, on real processes with the Linux defaults: the data
// folder, the database with its log and index, the keychain and the vendor identifiers, wherever the user's
// data directory is, including the temporary folder a host without HOME and XDG_DATA_HOME falls back to.
//
// Each case runs the library in a child process of its own (the umask and the environment are the whole
// process's, and the fallback's WARNING is once per process): with a permissive umask, the child starts the
// library, records an event, destroys it and starts it again, then leaves with the database still open.
// The parent then reads every mode below the data directory and the child's log.
#include <ZQBAnalytics/ZQBAnalytics.hpp>
#include <ZQBAnalytics/ZQBEngineWrapper.hpp>
#include <ZQBAnalytics/ZQBHost.hpp>

#include "database/SQLiteProvider.hpp"
#include "support/ChildProcess.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <optional>

namespace zqb {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBundleIdentifier = "com.example.privatefiles";
constexpr const char* kUmaskVariable = "ZQB_PRIVATE_FILES_UMASK";
constexpr const char* kLogVariable = "ZQB_PRIVATE_FILES_LOG";

// One start of the library, until a call queued behind its start-up has its answer: the device id.
std::optional<std::string> startAndWait() {
    ZQBAnalytics::initialize("private-files-key");
    ZQBHost::applicationDidBecomeActive();
    ZQBAnalytics::customEvent("private");
    auto answered = std::make_shared<std::promise<std::string>>();
    auto answer = answered->get_future();
    ZQBAnalytics::getDeviceId([answered](const std::string& id) { answered->set_value(id); });
    if (answer.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        return std::nullopt;
    }
    // Waits until what the start-up and the event wrote is in the file.
    ZQBHost::applicationDidEnterBackground();
    return answer.get();
}

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

enum class DataDirectory { fallback, home, xdg };

class PrivateFiles : public ::testing::Test {
protected:
    // Runs the library in a child under `umask` with the user data directory of `kind`, then checks the
    // modes of everything below it and the child's log.
    void check(mode_t umask, DataDirectory kind) {
        const test::TempDir root;
        const test::TempDir logs;
        // Folders that were there before the library keep their mode.
        const auto open = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                          fs::perms::others_read | fs::perms::others_exec;
        fs::permissions(root.path(), open);
        fs::path userData;
        std::vector<std::string> removed{"HOME", "XDG_DATA_HOME"};
        std::vector<std::string> added;
        switch (kind) {
            case DataDirectory::fallback:
                userData = root.path() / ("vorantel-" + std::to_string(::geteuid()));
                added.push_back("TMPDIR=" + root.path().string());
                break;
            case DataDirectory::home:
                userData = root.path() / ".local" / "share";
                added.push_back("HOME=" + root.path().string());
                break;
            case DataDirectory::xdg:
                userData = root.path() / "data";
                fs::create_directory(userData);
                fs::permissions(userData, open);
                added.push_back("HOME=" + root.path().string());
                added.push_back("XDG_DATA_HOME=" + userData.string());
                break;
        }
        const std::string log = runChild(umask, removed, added, logs.path() / "child.log");

        const fs::path database =
            userData / kBundleIdentifier / SQLiteProvider::folderName / SQLiteProvider::fileName;
        const std::vector<fs::path> expected{database, database.string() + "-wal", database.string() + "-shm",
                                             userData / "vorantel-keychain" / "keychain.json",
                                             userData / "vorantel-keychain" / "vendor-ids.json"};
        for (const auto& path : expected) {
            EXPECT_TRUE(fs::exists(path)) << path;
        }
        EXPECT_NE(log.find("asked: " + database.parent_path().string() + "\n"), std::string::npos) << log;

        EXPECT_EQ(modeOf(root.path()), 0755u);
        if (kind == DataDirectory::xdg) {
            EXPECT_EQ(modeOf(userData), 0755u);
        }
        EXPECT_GE(expectPrivateBelow(kind == DataDirectory::xdg ? userData : root.path()), expected.size());

        EXPECT_EQ(occurrences(log, "Neither XDG_DATA_HOME nor HOME"),
                  kind == DataDirectory::fallback ? 1u : 0u)
            << log;
        if (kind == DataDirectory::fallback) {
            EXPECT_EQ(occurrences(log,
                                  "WARNING [Platform] Neither XDG_DATA_HOME nor HOME names a usable folder; "
                                  "the library keeps its data in " +
                                      userData.string() + ", which the system may clear\n"),
                      1u)
                << log;
        }
        EXPECT_EQ(occurrences(log, "ERROR [Platform]"), 0u) << log;
        EXPECT_EQ(occurrences(log, "ERROR [Database Module]"), 0u) << log;
    }

    // Checks that everything below `folder` is private; answers how many entries there are.
    static std::size_t expectPrivateBelow(const fs::path& folder) {
        std::size_t seen = 0;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            ++seen;
            EXPECT_EQ(modeOf(entry.path()), entry.is_directory() ? 0700u : 0600u) << entry.path();
        }
        return seen;
    }

    static std::string deviceIdIn(const std::string& log) {
        const auto at = log.find("device: ");
        return at == std::string::npos ? std::string() : log.substr(at + 8, log.find('\n', at) - at - 8);
    }

    // Runs `DISABLED_Child` in a process of its own and gives back its log.
    static std::string runChild(mode_t umask, const std::vector<std::string>& removed,
                                std::vector<std::string> added, const fs::path& log) {
        char mask[8];
        std::snprintf(mask, sizeof mask, "%o", static_cast<unsigned>(umask));
        added.push_back(std::string(kUmaskVariable) + "=" + mask);
        added.push_back(std::string(kLogVariable) + "=" + log.string());
        const pid_t child = test::spawnSelf({"zqb_integration", "--gtest_also_run_disabled_tests",
                                             "--gtest_filter=PrivateFiles.DISABLED_Child"},
                                            test::currentEnvironment(removed, added));
        EXPECT_TRUE(test::waitForSuccess(child)) << "the child failed";
        std::ifstream in(log);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(PrivateFiles, WithoutHomeOrXdgDataHomeUnderUmask022) {
    check(022, DataDirectory::fallback);
}

TEST_F(PrivateFiles, WithoutHomeOrXdgDataHomeUnderUmask0) {
    check(0, DataDirectory::fallback);
}

TEST_F(PrivateFiles, BelowAHomeWithoutItsDataDirectoryUnderUmask0) {
    check(0, DataDirectory::home);
}

TEST_F(PrivateFiles, BelowAnXdgDataHomeOpenToOthersUnderUmask022) {
    check(022, DataDirectory::xdg);
}

// Earlier versions kept the fallback's data folder and keychain right in the temporary folder, open to
// everyone: a start that falls back moves both into the private folder, with the device id and the
// database they hold, and closes them.
TEST_F(PrivateFiles, WithoutHomeTheDataAnEarlierVersionKeptInTheTemporaryFolderIsKeptAndMadePrivate) {
    const test::TempDir root;
    const test::TempDir logs;
    fs::permissions(root.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
    const std::vector<std::string> removed{"HOME", "XDG_DATA_HOME"};
    const std::string first = runChild(022, removed, {"HOME=" + root.path().string()}, logs.path() / "1.log");
    const std::string deviceId = deviceIdIn(first);
    ASSERT_FALSE(deviceId.empty()) << first;

    // The earlier layout: both folders right in the temporary folder, readable by all.
    const fs::path home = root.path() / ".local" / "share";
    for (const std::string& name : {std::string(kBundleIdentifier), std::string("vorantel-keychain")}) {
        fs::rename(home / name, root.path() / name);
        fs::permissions(root.path() / name, fs::perms::owner_all | fs::perms::group_read |
                                                fs::perms::group_exec | fs::perms::others_read |
                                                fs::perms::others_exec);
        for (const auto& entry : fs::recursive_directory_iterator(root.path() / name)) {
            fs::permissions(entry.path(),
                            entry.is_directory()
                                ? fs::perms::owner_all | fs::perms::others_exec
                                : fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
        }
    }
    fs::remove_all(root.path() / ".local");
    const fs::path earlierDatabase =
        root.path() / kBundleIdentifier / SQLiteProvider::folderName / SQLiteProvider::fileName;
    struct stat earlier {};
    ASSERT_EQ(::stat(earlierDatabase.c_str(), &earlier), 0);

    const std::string second =
        runChild(022, removed, {"TMPDIR=" + root.path().string()}, logs.path() / "2.log");
    EXPECT_EQ(deviceIdIn(second), deviceId) << second;
    const fs::path userData = root.path() / ("vorantel-" + std::to_string(::geteuid()));
    const fs::path database =
        userData / kBundleIdentifier / SQLiteProvider::folderName / SQLiteProvider::fileName;
    struct stat now {};
    ASSERT_EQ(::stat(database.c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, earlier.st_ino);
    EXPECT_FALSE(fs::exists(root.path() / kBundleIdentifier));
    EXPECT_FALSE(fs::exists(root.path() / "vorantel-keychain"));
    EXPECT_GE(expectPrivateBelow(root.path()), 5u);
    for (const std::string& name : {std::string(kBundleIdentifier), std::string("vorantel-keychain")}) {
        EXPECT_EQ(occurrences(second, "WARNING [Platform] The data an earlier version kept in " +
                                          (root.path() / name).string() + " was moved to " +
                                          (userData / name).string() + "\n"),
                  1u)
            << second;
    }
    EXPECT_EQ(occurrences(second, "Neither XDG_DATA_HOME nor HOME"), 1u) << second;
}

// The child: run only when a test above asks for it. It leaves with the database open, its log and index
// beside it.
TEST_F(PrivateFiles, DISABLED_Child) {
    const char* mask = std::getenv(kUmaskVariable);
    const char* logPath = std::getenv(kLogVariable);
    ASSERT_NE(mask, nullptr);
    ASSERT_NE(logPath, nullptr);
    ::umask(static_cast<mode_t>(std::strtol(mask, nullptr, 8)));
    static std::mutex logMutex;
    static std::ofstream logFile(logPath);
    ZQBEngineWrapper::setEngineLoggerMessageClosure([](ZQBLogLevel, const std::string& line) {
        std::lock_guard lock(logMutex);
        logFile << line << std::endl;
    });
    ZQBAnalytics::setLogLevel(ZQBLogLevel::warning);
    test::LoopbackGateway gateway;
    ZQBHost::setBundleInfo("PrivateFiles", kBundleIdentifier, "1.0", "1");
    ZQBAnalytics::setTestProxyUrl(gateway.baseUrl());
    // The folder a host may ask for before any start is the one the library then uses.
    const std::string asked = ZQBAnalytics::sdkFolderPath();
    ASSERT_TRUE(startAndWait());
    ZQBEngineWrapper::destroySDK();
    const auto deviceId = startAndWait();
    ASSERT_TRUE(deviceId);
    {
        std::lock_guard lock(logMutex);
        logFile << "asked: " << asked << std::endl;
        logFile << "device: " << *deviceId << std::endl;
    }
    std::_Exit(::testing::Test::HasFailure() ? 1 : 0);
}

}  // namespace
}  // namespace zqb

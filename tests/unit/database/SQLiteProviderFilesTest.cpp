// The database's folder and files: private to the user whatever the umask, and a failed opening that says
// which file or folder failed and why.
#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "host/Environment.hpp"
#include "support/LogCapture.hpp"
#include "support/PrivateMount.hpp"
#include "support/SharedDatabase.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>

namespace zqb {
namespace {

namespace fs = std::filesystem;

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// Sets the process's umask for the scope. Only for tests that start no thread of the library: the umask is
// the whole process's.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : previous_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(previous_); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t previous_;
};

std::string reason(int code) {
    return std::error_code(code, std::generic_category()).message();
}

class SQLiteProviderFiles : public ::testing::Test {
protected:
    void SetUp() override {
        files = std::make_shared<host::Files>(nullptr);
        files->setApplicationSupportDirectory(support());
        host::Environment::shared().setFiles(files);
    }
    void TearDown() override { host::Environment::shared().reset(); }

    fs::path support() const { return dir.path() / "app" / "support"; }
    fs::path folder() const { return support() / SQLiteProvider::folderName; }
    fs::path file() const { return folder() / SQLiteProvider::fileName; }
    std::vector<std::string> errors() const {
        std::vector<std::string> lines;
        for (const auto& line : log.lines()) {
            if (line.level == ZQBLogLevel::error) {
                lines.push_back(line.text);
            }
        }
        return lines;
    }

    test::TempDir dir;
    std::shared_ptr<host::Files> files;
    test::LogCapture log;
};

// Under a umask that lets everyone read, the folders made on the way, the database built under its temporary
// name, and the log and index SQLite makes beside it are this user's alone. A folder the library did not make
// keeps its mode.
TEST_F(SQLiteProviderFiles, WhatTheProviderCreatesIsPrivateUnderAPermissiveUmask) {
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    for (const mode_t mask : {mode_t{0}, mode_t{022}}) {
        SCOPED_TRACE(mask);
        fs::remove_all(dir.path() / "app");
        ScopedUmask umask(mask);
        SQLiteProvider provider = zqb::test::openDatabase();
        ASSERT_TRUE(provider.insert("events", {{"code", SQLiteValue(std::string("ce"))}}));
        for (const auto& made : {dir.path() / "app", support(), folder()}) {
            EXPECT_EQ(modeOf(made), 0700u) << made;
        }
        for (const char* suffix : {"", "-wal", "-shm"}) {
            const fs::path companion = file().string() + suffix;
            ASSERT_TRUE(fs::exists(companion)) << companion;
            EXPECT_EQ(modeOf(companion), 0600u) << companion;
        }
        EXPECT_EQ(modeOf(dir.path()), 0755u);
        // A connection of its own on a new file makes it private as well.
        const fs::path other = dir.path() / "other.db";
        fs::remove(other);
        Connection(other.string()).execute("CREATE TABLE t(x)");
        EXPECT_EQ(modeOf(other), 0600u);
    }
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

// Earlier versions left the data folder and the database open to other users: the next opening closes them,
// also for a file it then moves aside.
TEST_F(SQLiteProviderFiles, AnOpenFolderAndDatabaseFromBeforeAreMadePrivate) {
    { zqb::test::openDatabase().insert("events", {{"code", SQLiteValue(std::string("ce"))}}); }
    const auto open =
        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(folder(), open | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(file(), open);
    {
        SQLiteProvider provider = zqb::test::openDatabase();
        EXPECT_EQ(modeOf(folder()), 0700u);
        EXPECT_EQ(modeOf(file()), 0600u);
        EXPECT_EQ(modeOf(file().string() + "-shm"), 0600u);
    }

    std::ofstream(file(), std::ios::trunc) << std::string(4096, 'x');
    fs::permissions(file(), open);
    SQLiteProvider provider = zqb::test::openDatabase();
    ASSERT_TRUE(provider.movedAside());
    EXPECT_EQ(modeOf(*provider.movedAside()), 0600u);
    EXPECT_EQ(modeOf(file()), 0600u);
}

// A data folder that cannot be made, a database that cannot be opened or created: one ERROR names the folder
// or file and the system's reason. (Root writes through the mode bits: for root, read-only mounts.)
TEST_F(SQLiteProviderFiles, AFailedOpeningNamesTheFileOrFolderAndTheSystemsReason) {
    std::ofstream(dir.path() / "app") << "a file where a folder should be";
    EXPECT_THROW(zqb::test::openDatabase(), fs::filesystem_error);
    EXPECT_EQ(errors(), std::vector<std::string>{"ERROR [Database Module] Cannot create the data folder " +
                                                 folder().string() + ": " + reason(ENOTDIR)});
    fs::remove(dir.path() / "app");

    // A folder where the database file should be.
    fs::create_directories(file());
    log.clear();
    EXPECT_ANY_THROW(zqb::test::openDatabase());
    EXPECT_EQ(errors(), std::vector<std::string>{"ERROR [Database Module] Cannot open the database " +
                                                 file().string() + ": " + reason(EISDIR)});
    fs::remove(file());

    const bool root = ::geteuid() == 0;
    const std::string refused = reason(root ? EROFS : EACCES);
    const auto lock = [&](const fs::path& path) {
        std::optional<test::PrivateMount> mount;
        if (root) {
            mount.emplace(test::PrivateMount::readOnly(path));
        } else {
            fs::permissions(path, fs::perms::owner_read | fs::perms::owner_exec);
        }
        return mount;
    };
    struct Case {
        const char* name;
        bool withDatabase;
        fs::path locked;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"folder, no database yet", false, folder(),
         "Cannot write in the data folder " + folder().string() + ": " + refused},
        {"read-only database", true, file(), "Cannot open the database " + file().string() + ": " + refused},
        // For root the mount takes the file with it; for others the file can be written, the log beside it
        // cannot be made.
        {"folder with a database", true, folder(),
         root ? "Cannot open the database " + file().string() + ": " + refused
              : "Cannot write in the data folder " + folder().string() + ": " + refused},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        fs::remove_all(folder());
        fs::create_directories(folder());
        if (each.withDatabase) {
            zqb::test::openDatabase();
        }
        auto mount = lock(each.locked);
        if (mount && !mount->mounted()) {
            GTEST_SKIP() << "nothing can be made read-only here: " << mount->refusal();
        }
        log.clear();
        EXPECT_ANY_THROW(zqb::test::openDatabase());
        EXPECT_EQ(errors(), std::vector<std::string>{"ERROR [Database Module] " + each.expected});
        mount.reset();
        fs::permissions(each.locked, fs::perms::owner_all);
    }
}

// A row another writer deleted without overwriting its content (as SQLite built without secure deletion
// does, or set so) stays readable in the file's free space, and in the write-ahead log while a connection
// holds the file open. Once the provider erased deleted content, no byte of it is left in either, and the
// provider goes on serving.
TEST_F(SQLiteProviderFiles, ErasingDeletedContentLeavesNoTraceOfARemovedRow) {
    const std::string secret = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F";
    const auto holds = [&](const std::string& text) {
        for (const auto& path : {file(), fs::path(file().string() + "-wal")}) {
            std::ifstream in(path, std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            if (bytes.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    SQLiteProvider provider = zqb::test::openDatabase();
    {
        Connection other(file().string());
        other.execute("PRAGMA secure_delete=OFF");
        other.execute("INSERT INTO projects (applicationKey) VALUES ('" + secret + "')");
        other.execute("DELETE FROM projects");
    }
    ASSERT_TRUE(holds(secret));

    provider.eraseDeletedContent();
    EXPECT_FALSE(holds(secret));
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(provider.insert("projects", {{"applicationKey", SQLiteValue(std::string("key"))}}));
    EXPECT_EQ(provider.queryRows("projects", {}).size(), 1u);
}

}  // namespace
}  // namespace zqb

// The database's folder and files: private to the user whatever the umask.
#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "host/Environment.hpp"
#include "support/LogCapture.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

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
        SQLiteProvider provider("key");
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
    { SQLiteProvider("key").insert("events", {{"code", SQLiteValue(std::string("ce"))}}); }
    const auto open =
        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(folder(), open | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(file(), open);
    {
        SQLiteProvider provider("key");
        EXPECT_EQ(modeOf(folder()), 0700u);
        EXPECT_EQ(modeOf(file()), 0600u);
        EXPECT_EQ(modeOf(file().string() + "-shm"), 0600u);
    }

    std::ofstream(file(), std::ios::trunc) << std::string(4096, 'x');
    fs::permissions(file(), open);
    SQLiteProvider provider("key");
    ASSERT_TRUE(provider.movedAside());
    EXPECT_EQ(modeOf(*provider.movedAside()), 0600u);
    EXPECT_EQ(modeOf(file()), 0600u);
}

}  // namespace
}  // namespace zqb

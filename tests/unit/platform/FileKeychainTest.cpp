#include "host/AtomicFile.hpp"
#include "host/FileKeychain.hpp"
#include "platform/KeychainStore.hpp"
#include "support/LogCapture.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using zqb::KeychainStore;
namespace host = zqb::host;
namespace status = zqb::host::keychain_status;

namespace {

mode_t permissions(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

std::string contents(const fs::path& path) {
    std::string bytes;
    EXPECT_EQ(host::AtomicFile::read(path, bytes), host::AtomicFile::ReadStatus::ok);
    return bytes;
}

std::vector<std::string> fileNames(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Makes every write beyond `bytes` fail with EFBIG, as a full disk would, for the scope's lifetime.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

class FileKeychainTest : public ::testing::Test {
protected:
    zqb::test::TempDir home;
    fs::path file = home.path() / "vorantel-keychain" / "keychain.json";
    std::shared_ptr<host::FileKeychain> keychain = std::make_shared<host::FileKeychain>(file);
};

TEST_F(FileKeychainTest, DefaultPathIsInTheUsersDataDirectory) {
    setenv("XDG_DATA_HOME", home.path().c_str(), 1);
    EXPECT_EQ(host::FileKeychain::defaultPath(), file);
}

TEST_F(FileKeychainTest, ItemsOutliveTheInstanceInAPrivateFile) {
    KeychainStore store(keychain, "");
    ASSERT_TRUE(store.set("DEVICE-ID", "App-q7r_v2_current_id"));
    EXPECT_EQ(permissions(file), 0600u);
    EXPECT_EQ(permissions(file.parent_path()), 0700u);

    KeychainStore later(std::make_shared<host::FileKeychain>(file), "");
    EXPECT_EQ(later.get("App-q7r_v2_current_id"), "DEVICE-ID");
    EXPECT_EQ(later.get("other"), std::nullopt);
    EXPECT_EQ(later.lastResultCode(), status::itemNotFound);
}

TEST_F(FileKeychainTest, ModeIsExactEvenUnderAPermissiveUmask) {
    const mode_t previous = ::umask(0);
    KeychainStore(keychain, "").set("v", "k");
    ::umask(previous);
    EXPECT_EQ(permissions(file), 0600u);
}

TEST_F(FileKeychainTest, ReplaceSwapsTheWholeFileAndLeavesNoTemporaryFile) {
    KeychainStore store(keychain, "");
    store.set("old", "k");
    struct stat info {};
    ::stat(file.c_str(), &info);
    const ino_t inodeBefore = info.st_ino;

    store.set("new", "k");
    ::stat(file.c_str(), &info);
    // A new file was renamed over the old one: readers never see a half-written file.
    EXPECT_NE(info.st_ino, inodeBefore);
    EXPECT_EQ(permissions(file), 0600u);
    EXPECT_EQ(store.get("k"), "new");
    EXPECT_EQ(fileNames(file.parent_path()),
              (std::vector<std::string>{"keychain.json", "keychain.json.lock"}));
}

TEST_F(FileKeychainTest, FailingWriteKeepsTheStoredIdAndTheFile) {
    KeychainStore store(keychain, "");
    ASSERT_TRUE(store.set("STORED-ID", "current"));
    const std::string before = contents(file);
    {
        FileSizeLimit limit(8);
        EXPECT_FALSE(store.set("A-MUCH-LONGER-REPLACEMENT-ID", "current"));
        EXPECT_EQ(store.lastResultCode(), status::ioError);
        EXPECT_FALSE(store.set("value", "another"));
    }
    EXPECT_EQ(contents(file), before);
    EXPECT_EQ(store.get("current"), "STORED-ID");
    EXPECT_EQ(store.get("another"), std::nullopt);
    EXPECT_EQ(fileNames(file.parent_path()),
              (std::vector<std::string>{"keychain.json", "keychain.json.lock"}));
}

TEST_F(FileKeychainTest, InstancesSharingTheFileKeepEachOthersItems) {
    auto other = std::make_shared<host::FileKeychain>(file);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            KeychainStore store(t % 2 == 0 ? keychain : other, "");
            for (int i = 0; i < 10; ++i) {
                store.set("v" + std::to_string(i), "t" + std::to_string(t) + "-" + std::to_string(i));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    KeychainStore reader(std::make_shared<host::FileKeychain>(file), "");
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(reader.get("t" + std::to_string(t) + "-" + std::to_string(i)), "v" + std::to_string(i));
        }
    }
}

TEST_F(FileKeychainTest, BytesThatAreNotTextSurviveTheFile) {
    const std::string bytes("\x00\xff\x80 id", 6);
    KeychainStore store(keychain, "");
    ASSERT_TRUE(store.set(bytes, "binary"));
    KeychainStore later(std::make_shared<host::FileKeychain>(file), "");
    EXPECT_EQ(later.getData("binary"), bytes);
    EXPECT_EQ(later.get("binary"), std::nullopt);
    EXPECT_EQ(later.lastResultCode(), status::invalidEncoding);
}

TEST_F(FileKeychainTest, UnparsableFileIsKeptAsideOnTheFirstWrite) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "{not json";
    zqb::test::LogCapture log;
    KeychainStore store(keychain, "");
    EXPECT_EQ(store.get("k"), std::nullopt);
    EXPECT_EQ(contents(file), "{not json");  // reading alone changes nothing

    EXPECT_TRUE(store.set("v", "k"));
    EXPECT_EQ(store.get("k"), "v");
    EXPECT_EQ(log.count("ERROR [Keychain] The keychain file"), 1u);
    bool keptAside = false;
    for (const auto& name : fileNames(file.parent_path())) {
        if (name.rfind("keychain.json.unreadable-", 0) == 0) {
            keptAside = contents(file.parent_path() / name) == "{not json";
        }
    }
    EXPECT_TRUE(keptAside);
}

TEST_F(FileKeychainTest, EntriesItCannotReadAreWrittenBackUntouched) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << R"({"items":[{"account":"a","value":"1"},{"future":"entry"}]})";
    KeychainStore store(keychain, "");
    EXPECT_EQ(store.get("a"), "1");
    EXPECT_TRUE(store.set("2", "b"));
    const std::string after = contents(file);
    EXPECT_NE(after.find(R"({"future":"entry"})"), std::string::npos) << after;
    EXPECT_EQ(store.get("b"), "2");
}

}  // namespace

// The library on a small file system of its own: one that fills up (nothing stored before is lost, the
// failure is logged once, events reported while the disk is full are written once space returns, and every
// event reaches the gateway once), and one that cannot be written (the start-up fails without harm and a
// later one succeeds).
#include "integration/EndToEndFixture.hpp"

#include "support/LogCapture.hpp"
#include "support/PrivateMount.hpp"
#include "support/TempDir.hpp"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace zqb {
namespace {

using test::EndToEndTest;
using test::settleAll;
using test::waitUntil;

class AnalyticsEndToEndStorageFaults : public EndToEndTest {
protected:
    // Mounted before the fixture starts any thread: threads started earlier would not see the mount.
    static void SetUpTestSuite() {
        folder_ = std::make_unique<test::TempDir>();
        if (test::PrivateMount::hasOtherThreads()) {
            refusal_ = "the test must run in a process of its own, as ctest runs it";
            return;
        }
        mount_ = std::make_unique<test::PrivateMount>(
            test::PrivateMount::smallFileSystem(folder_->path(), kBytes));
        if (!mount_->mounted()) {
            refusal_ = mount_->refusal();
        }
    }
    static void TearDownTestSuite() {
        mount_.reset();
        folder_.reset();
    }

    // Fills what is left of the file system; returns the file that takes the space.
    static std::filesystem::path fillDisk() {
        const auto ballast = folder_->path() / "ballast";
        std::ofstream out(ballast, std::ios::binary);
        const std::string chunk(4096, 'x');
        while (out.write(chunk.data(), static_cast<std::streamsize>(chunk.size())) && out.flush()) {
        }
        return ballast;
    }

    // What the gateway accepted, shared with its handler, which may outlive the fixture's own members.
    struct Accepted {
        std::atomic<bool> accepting{true};
        std::mutex mutex;
        std::map<std::string, int> counts;
    };
    // The gateway accepts reports while `accepting`, and counts the custom events of those it accepted.
    void countAcceptedReports() {
        gateway.setHandler(kReportPath,
                           [accepted = accepted_](const test::LoopbackGateway::Request& request) {
                               if (!accepted->accepting.load()) {
                                   return test::LoopbackGateway::Reply(500, "");
                               }
                               std::lock_guard lock(accepted->mutex);
                               for (const auto& event : eventsIn(request)) {
                                   if (event.value("code", "") == "ce") {
                                       ++accepted->counts[event.value("name", "")];
                                   }
                               }
                               return test::LoopbackGateway::Reply(200, "{}");
                           });
    }
    int accepted(const std::string& name) {
        std::lock_guard lock(accepted_->mutex);
        const auto found = accepted_->counts.find(name);
        return found == accepted_->counts.end() ? 0 : found->second;
    }

    const std::shared_ptr<Accepted> accepted_ = std::make_shared<Accepted>();

    static constexpr std::size_t kBytes = 4 * 1024 * 1024;
    static inline std::unique_ptr<test::TempDir> folder_;
    static inline std::unique_ptr<test::PrivateMount> mount_;
    static inline std::string refusal_;
};

TEST_F(AnalyticsEndToEndStorageFaults,
       EventsReportedWhileTheDiskIsFullAreWrittenOnceSpaceReturnsAndSentOnce) {
    if (!refusal_.empty()) {
        GTEST_SKIP() << "no small file system to fill here: " << refusal_;
    }
    constexpr int kCount = 100;
    // Of one length, so that no name holds another.
    const auto name = [](char batch, int index) {
        return std::string("full-") + batch + "-" + std::to_string(1000 + index);
    };
    environment.files().setApplicationSupportDirectory(folder_->path());
    replyWithConfiguration({{"countForRequest", 1000}});
    countAcceptedReports();
    start();
    test::LogCapture log(ZQBLogLevel::error);
    const auto ballast = fillDisk();

    // Sent while the disk is full: the report's deletion after the gateway's answer waits in memory too.
    for (int index = 0; index < kCount; ++index) {
        ZQBAnalytics::customEvent(name('a', index));
    }
    goToBackground();
    ASSERT_TRUE(waitUntil([&] { return accepted(name('a', kCount - 1)) > 0; }));
    settleAll();
    ZQBHost::applicationDidBecomeActive();

    // Refused by the gateway while the disk is full: they wait, packed into a report, in memory.
    accepted_->accepting = false;
    for (int index = 0; index < kCount; ++index) {
        ZQBAnalytics::customEvent(name('b', index));
    }
    goToBackground();
    settleAll();
    EXPECT_EQ(storedCopies(name('b', 0)), 0);

    // Space returns: the next stopping call returns once everything is in the file.
    std::filesystem::remove(ballast);
    ZQBHost::applicationDidBecomeActive();
    goToBackground();
    for (int index = 0; index < kCount; ++index) {
        ASSERT_EQ(storedCopies(name('b', index)), 1) << index;
        ASSERT_EQ(storedCopies(name('a', index)), 0) << index;
    }

    // The next launch, in the foreground, sends what waited, and nothing twice.
    Core::destroy();
    settleAll();
    accepted_->accepting = true;
    ZQBHost::applicationDidBecomeActive();
    start();
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitUntil([&] { return accepted(name('b', kCount - 1)) > 0; }));
    settleAll();
    for (int index = 0; index < kCount; ++index) {
        EXPECT_EQ(accepted(name('a', index)), 1) << index;
        EXPECT_EQ(accepted(name('b', index)), 1) << index;
    }
    EXPECT_EQ(log.count("[Database Module]"), 1u);
    EXPECT_EQ(log.count("ERROR [Database Module] Error in inserting: database or disk is full (code: 13)"),
              1u);
}

// A data folder the process may not write: the start-up fails with its ERROR and nothing crashes; calls are
// refused as before any start-up; the library can be destroyed and, once the folder can be written again,
// initialised anew on the data it had.
TEST_F(AnalyticsEndToEndStorageFaults, AFolderThatCannotBeWrittenFailsTheStartUpAndALaterStartUsesItAgain) {
    if (!refusal_.empty()) {
        GTEST_SKIP() << "no small file system of the test's own here: " << refusal_;
    }
    // A folder of its own on the shared file system: the data of the full-disk test would change what
    // the first start sends.
    const auto support = folder_->path() / "unwritable";
    std::filesystem::create_directories(support);
    environment.files().setApplicationSupportDirectory(support);
    replyWithConfiguration({{"countForRequest", 1000}});
    gateway.setReply(kReportPath, {500, ""});
    start();
    ZQBAnalytics::customEvent("store-before");
    goToBackground();
    Core::destroy();
    settleAll();
    ZQBHost::applicationDidBecomeActive();

    ASSERT_EQ(mount_->setReadOnly(true), "");
    {
        test::LogCapture log(ZQBLogLevel::error);
        ZQBAnalytics::initialize(kApplicationKey);
        ZQBAnalytics::customEvent("store-refused");
        goToBackground();
        ZQBHost::applicationDidBecomeActive();
        settleAll();
        // Why, and then that the start-up failed.
        const auto texts = log.texts();
        const auto why =
            std::find(texts.begin(), texts.end(),
                      "ERROR [Database Module] Cannot open the database " +
                          (support / SQLiteProvider::folderName / SQLiteProvider::fileName).string() +
                          ": Read-only file system");
        const auto failed =
            std::find(texts.begin(), texts.end(),
                      "ERROR In the Initialize method an error has occurred: Can't init submodules");
        EXPECT_NE(why, texts.end());
        EXPECT_EQ(std::next(why), failed);
        EXPECT_TRUE(log.contains("The SDK is not initialized yet!"));
        Core::destroy();
        settleAll();
    }
    ASSERT_EQ(mount_->setReadOnly(false), "");

    start();
    ZQBAnalytics::customEvent("store-after");
    goToBackground();
    EXPECT_EQ(storedCopies("store-before"), 1);
    EXPECT_EQ(storedCopies("store-refused"), 0);
    EXPECT_EQ(storedCopies("store-after"), 1);
}

}  // namespace
}  // namespace zqb

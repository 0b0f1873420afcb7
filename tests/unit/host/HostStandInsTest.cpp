#include "host/Bundle.hpp"
#include "host/Clock.hpp"
#include "host/Environment.hpp"
#include "host/Files.hpp"
#include "host/NotificationCenter.hpp"
#include "support/LogCapture.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zqb::host {
namespace {

using namespace std::string_literals;

struct FixedClock final : ClockProtocol {
    explicit FixedClock(double seconds) : seconds(seconds) {}
    double secondsSince1970() const override { return seconds; }
    double seconds;
};

TEST(Clock, MillisecondsRoundHalfAwayFromZeroAndSaturate) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    EXPECT_EQ(millisecondsSince1970(FixedClock(1.0005)), 1001);  // the product rounds to 1000.5
    EXPECT_EQ(millisecondsSince1970(FixedClock(0.0025)), 3);
    EXPECT_EQ(millisecondsSince1970(FixedClock(-0.0025)), -3);
    EXPECT_EQ(millisecondsSince1970(FixedClock(1'700'000'000.123)), 1'700'000'000'123);
    EXPECT_EQ(millisecondsSince1970(FixedClock(std::nan(""))), 0);
    EXPECT_EQ(millisecondsSince1970(FixedClock(1e300)), kMax);
    EXPECT_EQ(millisecondsSince1970(FixedClock(-1e300)), kMin);
    EXPECT_EQ(millisecondsSince1970(FixedClock(INFINITY)), kMax);
    EXPECT_EQ(millisecondsSince1970(FixedClock(-INFINITY)), kMin);
    const int64_t now = millisecondsSince1970(SystemClock());
    EXPECT_GT(now, 1'600'000'000'000);

    EXPECT_EQ(saturatingAdd(1, 2), 3);
    EXPECT_EQ(saturatingAdd(kMax, 1), kMax);
    EXPECT_EQ(saturatingAdd(kMax - 5, kMax), kMax);
    EXPECT_EQ(saturatingAdd(kMin, -1), kMin);
    EXPECT_EQ(saturatingAdd(kMin, kMax), -1);
}

TEST(NotificationCenter, DeliversToMatchingObserversWhileTheirRegistrationLives) {
    auto center = std::make_shared<NotificationCenter>();
    std::vector<std::string> calls;
    auto active = center->addObserver(AppNotification::didBecomeActive, [&] { calls.push_back("active"); });
    auto background =
        center->addObserver(AppNotification::didEnterBackground, [&] { calls.push_back("background"); });
    auto active2 = center->addObserver(AppNotification::didBecomeActive, [&] { calls.push_back("active2"); });
    center->post(AppNotification::didBecomeActive);
    center->post(AppNotification::willTerminate);
    EXPECT_EQ(calls, (std::vector<std::string>{"active", "active2"}));

    calls.clear();
    active.reset();
    center->post(AppNotification::didBecomeActive);
    center->post(AppNotification::didEnterBackground);
    EXPECT_EQ(calls, (std::vector<std::string>{"active2", "background"}));

    // A registration may outlive its centre.
    center.reset();
    background.reset();
    active2.reset();
}

TEST(NotificationCenter, ObserversMayRegisterRemoveAndPostDuringAPost) {
    auto center = std::make_shared<NotificationCenter>();
    std::vector<std::string> calls;
    std::unique_ptr<NotificationCenter::Registration> second;
    std::unique_ptr<NotificationCenter::Registration> added;
    auto first = center->addObserver(AppNotification::willResignActive, [&] {
        calls.push_back("first");
        second.reset();  // removed before its turn in this same post: not called
        if (!added) {
            added = center->addObserver(AppNotification::willResignActive, [&] { calls.push_back("added"); });
        }
        center->post(AppNotification::didEnterBackground);
    });
    second = center->addObserver(AppNotification::willResignActive, [&] { calls.push_back("second"); });
    auto nested =
        center->addObserver(AppNotification::didEnterBackground, [&] { calls.push_back("nested"); });
    center->post(AppNotification::willResignActive);
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "nested"}));
    calls.clear();
    center->post(AppNotification::willResignActive);
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "nested", "added"}));
}

// Run under ThreadSanitizer: registrations come and go while other threads post.
TEST(NotificationCenter, ConcurrentPostsAndRegistrations) {
    auto center = std::make_shared<NotificationCenter>();
    std::atomic<bool> stop{false};
    std::atomic<int> delivered{0};
    auto permanent = center->addObserver(AppNotification::didBecomeActive, [&] { ++delivered; });
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&] {
            while (!stop.load()) {
                center->post(AppNotification::didBecomeActive);
            }
        });
    }
    for (int i = 0; i < 2'000; ++i) {
        auto temporary = center->addObserver(AppNotification::didBecomeActive, [&] { ++delivered; });
    }
    stop = true;
    for (auto& poster : posters) {
        poster.join();
    }
    const int before = delivered.load();
    center->post(AppNotification::didBecomeActive);
    EXPECT_EQ(delivered.load(), before + 1);
}

TEST(Application, StateDefaultsToActiveAndFollowsTheHost) {
    Application application;
    EXPECT_EQ(application.applicationState(), ApplicationState::active);
    application.setApplicationState(ApplicationState::background);
    EXPECT_EQ(application.applicationState(), ApplicationState::background);
    EXPECT_EQ(Application(ApplicationState::inactive).applicationState(), ApplicationState::inactive);
}

// Sets an environment variable for the scope, restoring the previous value.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* previous = std::getenv(name)) {
            previous_ = previous;
        }
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedVariable() {
        if (previous_) {
            setenv(name_, previous_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> previous_;
};

TEST(Files, DataFolderIsPerApplicationBelowTheUsersDataDirectory) {
    const zqb::test::TempDir homeFolder;
    const zqb::test::TempDir temporary;
    const std::string homeText = homeFolder.path().string();
    const auto share = homeFolder.path() / ".local" / "share";
    ScopedVariable tmpdir("TMPDIR", temporary.path().c_str());
    ScopedVariable home("HOME", homeText.c_str());
    {
        ScopedVariable xdg("XDG_DATA_HOME", "/data/xdg");
        EXPECT_EQ(Files::userDataDirectory(), "/data/xdg");
        EXPECT_EQ(Files([] { return "com.example.game"s; }).applicationSupportDirectory(),
                  "/data/xdg/com.example.game");
    }
    {
        ScopedVariable xdg("XDG_DATA_HOME", "relative/dir");  // only absolute values count
        EXPECT_EQ(Files::userDataDirectory(), share);
    }
    ScopedVariable noXdg("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(Files([] { return "com.example.game"s; }).applicationSupportDirectory(),
              share / "com.example.game");
    // Neither names a folder: a folder of this user's in the temporary directory, nobody else's.
    const auto fallback = temporary.path() / ("vorantel-" + std::to_string(::geteuid()));
    for (const char* unusable : {static_cast<const char*>(nullptr), "", "relative/home", "/no/such/home"}) {
        SCOPED_TRACE(unusable == nullptr ? "unset" : unusable);
        ScopedVariable noHome("HOME", unusable);
        EXPECT_EQ(Files::userDataDirectory(), fallback);
        EXPECT_EQ(Files([] { return "com.example.game"s; }).applicationSupportDirectory(),
                  fallback / "com.example.game");
    }
    EXPECT_FALSE(std::filesystem::exists("/no/such/home"));
}

// The fallback lies where every user may make folders: one that is not a folder of this user's is not used,
// and the library then has no data directory, with one ERROR saying why.
TEST(Files, AFallbackFolderThatIsNotThisUsersIsRefused) {
    const zqb::test::TempDir temporary;
    const zqb::test::TempDir elsewhere;
    ScopedVariable tmpdir("TMPDIR", temporary.path().c_str());
    ScopedVariable noXdg("XDG_DATA_HOME", nullptr);
    ScopedVariable noHome("HOME", nullptr);
    const auto fallback = temporary.path() / ("vorantel-" + std::to_string(::geteuid()));
    zqb::test::LogCapture log;

    std::filesystem::create_directory_symlink(elsewhere.path(), fallback);
    EXPECT_EQ(Files::userDataDirectory(), std::filesystem::path());
    EXPECT_EQ(Files([] { return "com.example.game"s; }).applicationSupportDirectory(),
              std::filesystem::path());
    EXPECT_EQ(log.count("ERROR [Platform] Neither XDG_DATA_HOME nor HOME names a usable folder, and " +
                        fallback.string() + " cannot hold the library's data: it is not a folder"),
              1u);
    std::filesystem::remove(fallback);

    if (::geteuid() == 0) {
        std::filesystem::create_directory(fallback);
        ASSERT_EQ(::chown(fallback.c_str(), 65534, 65534), 0);
        EXPECT_EQ(Files::userDataDirectory(), std::filesystem::path());
        EXPECT_EQ(
            log.count(fallback.string() + " cannot hold the library's data: it belongs to another user"), 1u);
        std::filesystem::remove(fallback);
    }

    // A folder of this user's that others may enter is made private and used.
    std::filesystem::create_directory(fallback);
    std::filesystem::permissions(fallback, std::filesystem::perms::all);
    EXPECT_EQ(Files::userDataDirectory(), fallback);
    EXPECT_EQ(std::filesystem::status(fallback).permissions(), std::filesystem::perms::owner_all);
    EXPECT_EQ(
        log.count("WARNING [Platform] Neither XDG_DATA_HOME nor HOME names a usable folder; the library "
                  "keeps its data in " +
                  fallback.string() + ", which the system may clear"),
        1u);
    EXPECT_EQ(log.count("ERROR"), ::geteuid() == 0 ? 2u : 1u);
}

TEST(Files, IdentifiersThatWouldLeaveTheDataDirectoryAreReplaced) {
    ScopedVariable xdg("XDG_DATA_HOME", "/data");
    for (const std::string& bad : {""s, "."s, ".."s, "../escape"s, "a/b"s, "/abs"s, "app\0name"s}) {
        EXPECT_EQ(Files([bad] { return bad; }).applicationSupportDirectory(), "/data/application") << bad;
    }
    EXPECT_EQ(Files(nullptr).applicationSupportDirectory(), "/data/application");
    EXPECT_EQ(Files([] { return "..hidden"s; }).applicationSupportDirectory(), "/data/..hidden");

    Files files([] { return "com.example.game"s; });
    files.setApplicationSupportDirectory("/chosen/by/host");
    EXPECT_EQ(files.applicationSupportDirectory(), "/chosen/by/host");
    files.setApplicationSupportDirectory(std::nullopt);
    EXPECT_EQ(files.applicationSupportDirectory(), "/data/com.example.game");
}

TEST(Environment, DefaultsFollowTheBundleAndReplacementsAreShared) {
    auto& environment = Environment::shared();
    ScopedVariable xdg("XDG_DATA_HOME", "/data");
    environment.reset();
    EXPECT_FALSE(Bundle::executableName().empty());
    EXPECT_EQ(environment.bundle()->info().name, Bundle::executableName());
    EXPECT_EQ(environment.files()->applicationSupportDirectory(),
              std::filesystem::path("/data") / Bundle::executableName());
    environment.setBundle(std::make_shared<Bundle>(BundleInfo{"Game", "com.example.game", "1.0", "7"}));
    EXPECT_EQ(environment.files()->applicationSupportDirectory(), "/data/com.example.game");
    EXPECT_EQ(environment.clock(), environment.clock());
    EXPECT_EQ(environment.runLoop(), environment.runLoop());
    EXPECT_NE(static_cast<void*>(environment.runLoop().get()),
              static_cast<void*>(environment.delayedScheduler().get()));
    environment.reset();
    EXPECT_EQ(environment.bundle()->info().name, Bundle::executableName());
}

}  // namespace
}  // namespace zqb::host

#include "host/Environment.hpp"
#include "host/ThreadRunLoop.hpp"
#include "platform/RootedCheck.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/TempDir.hpp"
#include "support/Wait.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

namespace zqb::test {
namespace {

// The specified probe paths over a fake file system that records what was asked.
struct FakeFiles {
    std::mutex mutex;
    std::vector<std::string> existing;
    std::vector<std::string> tested;
    std::vector<std::string> written;
    bool writable = false;
    std::thread::id probeThread;

    RootedProbes probes() {
        RootedProbes probes = RootedCheck::jailbreakProbes();
        probes.fileExists = [this](const std::string& path) {
            std::lock_guard lock(mutex);
            probeThread = std::this_thread::get_id();
            tested.push_back(path);
            return std::find(existing.begin(), existing.end(), path) != existing.end();
        };
        probes.writeFile = [this](const std::string& path, const std::string& text) {
            std::lock_guard lock(mutex);
            written.push_back(path + "=" + text);
            return writable;
        };
        return probes;
    }
};

class RootedCheckTest : public ::testing::Test {
protected:
    void TearDown() override { host::Environment::shared().reset(); }

    // Runs the check and waits (bounded) for its one answer.
    std::optional<bool> check(RootedCheck& rootedCheck) {
        std::atomic<int> calls{0};
        std::atomic<bool> answer{false};
        rootedCheck.isRooted([&](bool rooted) {
            answerThread = std::this_thread::get_id();
            answer = rooted;
            ++calls;
        });
        if (!waitUntil([&] { return calls.load() > 0; })) {
            return std::nullopt;
        }
        EXPECT_EQ(calls.load(), 1);
        return answer.load();
    }

    FakeFiles files;
    std::thread::id answerThread;
};

TEST_F(RootedCheckTest, LinuxDefaultAnswersFalseAtOnceWithoutProbing) {
    RootedCheck rootedCheck(false, host::Environment::shared());
    bool answered = false;
    bool rooted = true;
    rootedCheck.isRooted([&](bool value) {
        answered = true;
        rooted = value;
    });
    EXPECT_TRUE(answered);
    EXPECT_FALSE(rooted);
}

TEST_F(RootedCheckTest, SimulatorAnswersFalseWithoutTestingAPath) {
    RootedCheck rootedCheck(true, host::Environment::shared(), files.probes());
    bool answered = false;
    rootedCheck.isRooted([&](bool rooted) { answered = !rooted; });
    EXPECT_TRUE(answered);
    EXPECT_TRUE(files.tested.empty());
}

TEST_F(RootedCheckTest, FirstExistingPathAnswersTrueAndStopsProbing) {
    files.existing = {"/bin/bash", "/etc/apt"};
    RootedCheck rootedCheck(false, host::Environment::shared(), files.probes());
    EXPECT_EQ(check(rootedCheck), true);
    std::lock_guard lock(files.mutex);
    EXPECT_EQ(files.tested,
              (std::vector<std::string>{"/Applications/Cydia.app",
                                        "/Library/MobileSubstrate/MobileSubstrate.dylib", "/bin/bash"}));
    EXPECT_TRUE(files.written.empty());
}

TEST_F(RootedCheckTest, WriteTestDecidesWhenNoPathExists) {
    files.writable = true;
    RootedCheck rootedCheck(false, host::Environment::shared(), files.probes());
    EXPECT_EQ(check(rootedCheck), true);
    {
        std::lock_guard lock(files.mutex);
        EXPECT_EQ(files.tested.size(), 6u);
        EXPECT_EQ(files.written, (std::vector<std::string>{"/private/JailbreakTest.txt=Jailbreak Test"}));
        files.writable = false;
    }
    EXPECT_EQ(check(rootedCheck), false);  // no state kept: probed again
}

TEST_F(RootedCheckTest, RealWriteTestLeavesTheFile) {
    TempDir dir;
    RootedProbes probes = RootedCheck::jailbreakProbes();
    probes.paths = {(dir.path() / "absent").string()};
    probes.writeTestPath = (dir.path() / "JailbreakTest.txt").string();
    RootedCheck rootedCheck(false, host::Environment::shared(), probes);
    EXPECT_EQ(check(rootedCheck), true);
    std::ifstream written(*probes.writeTestPath);
    std::string content((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "Jailbreak Test");

    probes.writeTestPath = (dir.path() / "missing-directory" / "JailbreakTest.txt").string();
    RootedCheck failing(false, host::Environment::shared(), probes);
    EXPECT_EQ(check(failing), false);
}

TEST_F(RootedCheckTest, ProbesRunOnTheRunLoopAndTheAnswerComesElsewhere) {
    auto runLoop = std::make_shared<host::ThreadRunLoop>("test run loop");
    host::Environment::shared().setRunLoop(runLoop);
    RootedCheck rootedCheck(false, host::Environment::shared(), files.probes());
    EXPECT_EQ(check(rootedCheck), false);
    std::lock_guard lock(files.mutex);
    EXPECT_NE(files.probeThread, std::this_thread::get_id());
    EXPECT_NE(answerThread, files.probeThread);
    EXPECT_NE(answerThread, std::this_thread::get_id());
}

TEST_F(RootedCheckTest, NothingIsProbedUntilTheRunLoopFires) {
    ScopedEnvironment environment;
    files.existing = {"/etc/apt"};
    RootedCheck rootedCheck(false, host::Environment::shared(), files.probes());
    std::optional<bool> answer;
    rootedCheck.isRooted([&](bool rooted) { answer = rooted; });
    EXPECT_TRUE(files.tested.empty());
    EXPECT_FALSE(answer.has_value());
    while (!answer && environment.runLoop().advanceToNextTimer()) {
    }
    EXPECT_EQ(answer, true);
    EXPECT_EQ(files.tested.size(), 5u);
}

TEST_F(RootedCheckTest, CallerBlockingItsThreadStillGetsTheAnswer) {
    // The caller waits on its own thread, as the device manager does; the answer needs no help from it.
    RootedCheck rootedCheck(false, host::Environment::shared(), files.probes());
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    rootedCheck.isRooted([&](bool) {
        std::lock_guard lock(mutex);
        done = true;
        answered.notify_all();
    });
    std::unique_lock lock(mutex);
    EXPECT_TRUE(answered.wait_for(lock, std::chrono::seconds(10), [&] { return done; }));
}

}  // namespace
}  // namespace zqb::test

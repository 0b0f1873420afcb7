// Processes that use one data folder at the same time (a launcher and the game, a game started twice, a game
// and its crash reporter), on real processes.
//
// Each child opens the database of the folder it is given, stores events numbered from a range of its own,
// one commit each, and after each store has returned appends the event's number to a progress file of its
// own. Every event whose number reached a progress file must be in the file once the children have ended,
// and the file must pass SQLite's integrity check:
// - two first launches on a new folder at once, at the same instant, and with one of them held in the
//   middle of building its new file while the other builds its own, commits and ends;
// - two processes recording on one folder, new or used, one of them killed at a seeded random moment (its
//   start-up included).
//
//   zqb_shared_folder_test [--rounds N] [gtest options]
#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "database/Statement.hpp"
#include "host/Environment.hpp"
#include "host/Files.hpp"
#include "support/ChildProcess.hpp"
#include "support/FullDiskVfs.hpp"
#include "support/SharedDatabase.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Each child numbers its events from its own multiple of this.
constexpr int64_t kRange = 1'000'000;

int rounds = 8;

enum class Hold { none, atItsNewFile };

struct Child {
    fs::path support;
    int64_t first = 0;
    int64_t count = 0;
    fs::path progress;
    Hold hold = Hold::none;
    // The longest pause between two events, in microseconds.
    int maximumPauseUs = 0;
};

// Stores the child's events; stops itself (SIGSTOP) in the middle of building a new file when asked to.
int runChild(const Child& child) {
    auto files = std::make_shared<zqb::host::Files>(nullptr);
    files->setApplicationSupportDirectory(child.support);
    zqb::host::Environment::shared().setFiles(files);
    std::optional<zqb::test::FullDiskVfs> vfs;
    if (child.hold == Hold::atItsNewFile) {
        vfs.emplace();
        vfs->setBeforeWrite([held = false](const char* path) mutable {
            // The new file itself, not its log: its name ends with the building process's id.
            const std::string name = fs::path(path).filename().string();
            const std::string suffix = zqb::SQLiteProvider::creationSuffix;
            const auto at = name.find(suffix);
            if (!held && at != std::string::npos &&
                name.find_first_not_of("0123456789", at + suffix.size()) == std::string::npos) {
                held = true;
                raise(SIGSTOP);
            }
        });
    }
    const int fd = open(child.progress.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0600);
    if (fd < 0) {
        std::perror("progress file");
        return 2;
    }
    std::mt19937 random(static_cast<unsigned>(child.first / kRange));
    zqb::SQLiteProvider provider = zqb::test::openDatabase();
    for (int64_t number = child.first; number < child.first + child.count; ++number) {
        if (!provider.insert("events", {{"code", zqb::SQLiteValue(std::string("ce"))},
                                        {"eventJson", zqb::SQLiteValue(std::to_string(number))}})) {
            return 3;
        }
        const std::string line = std::to_string(number) + "\n";
        // One write of a short line to a file opened for appending: a kill never leaves half of it.
        if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            return 2;
        }
        if (child.maximumPauseUs > 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(
                std::uniform_int_distribution<int>(0, child.maximumPauseUs)(random)));
        }
    }
    return 0;
}

pid_t spawn(const Child& child) {
    return zqb::test::spawnSelf({"zqb_shared_folder_test", "--child", child.support.string(),
                                 std::to_string(child.first), std::to_string(child.count),
                                 child.progress.string(), child.hold == Hold::atItsNewFile ? "hold" : "run",
                                 std::to_string(child.maximumPauseUs)});
}

// The exit status of a child that ended, or -1 for one that was killed or did not end in time (killed then).
int endOf(pid_t child, std::chrono::seconds patience = std::chrono::seconds(120)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::set<int64_t> numbersIn(const fs::path& progress) {
    std::set<int64_t> numbers;
    std::ifstream in(progress);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            numbers.insert(std::stoll(line));
        }
    }
    return numbers;
}

class SharedFolderTest : public ::testing::Test {
protected:
    fs::path support() const { return folder_.path() / "support"; }
    fs::path file() const {
        return support() / zqb::SQLiteProvider::folderName / zqb::SQLiteProvider::fileName;
    }
    fs::path progressOf(int64_t first) const {
        return folder_.path() / ("progress-" + std::to_string(first));
    }

    Child child(int64_t first, int64_t count) const {
        return Child{support(), first, count, progressOf(first)};
    }

    // The events stored in the file, by number, as another process opening it reads them.
    std::multiset<int64_t> stored() {
        zqb::Connection reader(file().string());
        zqb::Statement check(reader, "PRAGMA integrity_check");
        EXPECT_TRUE(check.step());
        EXPECT_EQ(std::get<std::string>(*check.cursor().row().at(0)), "ok");
        std::multiset<int64_t> numbers;
        zqb::Statement statement(reader, "SELECT eventJson FROM events");
        while (statement.step()) {
            const auto row = statement.cursor().row();
            if (row.at(0) && std::holds_alternative<std::string>(*row.at(0))) {
                numbers.insert(std::stoll(std::get<std::string>(*row.at(0))));
            }
        }
        return numbers;
    }

    // Every number each child reported as stored is in the file, once.
    void expectStored(const std::vector<int64_t>& firsts) {
        const auto numbers = stored();
        for (const int64_t first : firsts) {
            int64_t missing = 0;
            for (const int64_t number : numbersIn(progressOf(first))) {
                EXPECT_LE(numbers.count(number), 1u) << number;
                missing += numbers.count(number) == 0 ? 1 : 0;
            }
            EXPECT_EQ(missing, 0) << "of the events the process numbered from " << first
                                  << " reported stored";
        }
    }

    void startAnew() { fs::remove_all(support()); }

private:
    zqb::test::TempDir folder_;
};

// The second of two processes that found no file must not take away the log the first one, which put its
// new file in place first, is committing into: neither it nor a later launch would see those commits.
TEST_F(SharedFolderTest, TwoFirstLaunchesAtOnceKeepTheEventsOfBoth) {
    int64_t first = kRange;
    // One held in the middle of building its file while the other makes its whole first launch.
    for (int round = 0; round < 2; ++round, first += 2 * kRange) {
        SCOPED_TRACE(round);
        startAnew();
        Child held = child(first, 20);
        held.hold = Hold::atItsNewFile;
        const pid_t heldChild = spawn(held);
        int status = 0;
        ASSERT_EQ(waitpid(heldChild, &status, WUNTRACED), heldChild);
        ASSERT_TRUE(WIFSTOPPED(status)) << "the child did not build a new file";
        const pid_t other = spawn(child(first + kRange, 20));
        // The other either ends, or waits for the held one's creation: only then can it go on.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::optional<int> otherEnd;
        while (std::chrono::steady_clock::now() < deadline && !zqb::test::waitsForALock(other)) {
            if (waitpid(other, &status, WNOHANG) == other) {
                otherEnd = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        kill(heldChild, SIGCONT);
        EXPECT_EQ(endOf(heldChild), 0);
        EXPECT_EQ(otherEnd ? *otherEnd : endOf(other), 0);
        EXPECT_EQ(numbersIn(progressOf(first)).size(), 20u);
        EXPECT_EQ(numbersIn(progressOf(first + kRange)).size(), 20u);
        expectStored({first, first + kRange});
        EXPECT_EQ(stored().size(), 40u);
    }
    // Started at the same instant.
    for (int round = 0; round < rounds; ++round, first += 2 * kRange) {
        SCOPED_TRACE(round);
        startAnew();
        const pid_t one = spawn(child(first, 20));
        const pid_t two = spawn(child(first + kRange, 20));
        EXPECT_EQ(endOf(one), 0);
        EXPECT_EQ(endOf(two), 0);
        expectStored({first, first + kRange});
        EXPECT_EQ(stored().size(), 40u);
    }
}

// Two processes recording on one folder, one of them killed without warning at any moment, its start-up
// and its first launch included: the other stores all it records, and the file keeps every event either
// reported stored.
TEST_F(SharedFolderTest, TwoProcessesRecordingOnOneFolderLoseNothingWhenOneIsKilled) {
    std::mt19937 random(29);
    int64_t first = kRange;
    std::vector<int64_t> firsts;
    constexpr int64_t kEvents = 300;
    for (int round = 0; round < rounds; ++round, first += 2 * kRange) {
        SCOPED_TRACE(round);
        // Every other round on a new folder; the others on what the previous round left.
        if (round % 2 == 0) {
            startAnew();
            firsts.clear();
        }
        Child one = child(first, kEvents);
        Child two = child(first + kRange, kEvents);
        one.maximumPauseUs = two.maximumPauseUs = 1000;
        const pid_t children[] = {spawn(one), spawn(two)};
        const std::size_t victim = std::uniform_int_distribution<std::size_t>(0, 1)(random);
        // Half the kills within the start-up, the others while both record.
        const int delayUs = round % 4 < 2 ? std::uniform_int_distribution<int>(0, 30'000)(random)
                                          : std::uniform_int_distribution<int>(30'000, 250'000)(random);
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
        kill(children[victim], SIGKILL);
        endOf(children[victim]);
        EXPECT_EQ(endOf(children[1 - victim]), 0);
        EXPECT_EQ(numbersIn(progressOf(victim == 0 ? two.first : one.first)).size(),
                  static_cast<std::size_t>(kEvents));
        firsts.push_back(one.first);
        firsts.push_back(two.first);
        expectStored(firsts);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 8 && std::strcmp(argv[1], "--child") == 0) {
        return runChild(Child{argv[2], std::strtoll(argv[3], nullptr, 10), std::strtoll(argv[4], nullptr, 10),
                              argv[5], std::strcmp(argv[6], "hold") == 0 ? Hold::atItsNewFile : Hold::none,
                              std::atoi(argv[7])});
    }
    ::testing::InitGoogleTest(&argc, argv);
    for (int index = 1; index + 1 < argc; ++index) {
        if (std::strcmp(argv[index], "--rounds") == 0) {
            rounds = std::max(1, std::atoi(argv[index + 1]));
        }
    }
    return RUN_ALL_TESTS();
}

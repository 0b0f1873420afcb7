#include "database/Connection.hpp"
#include "database/WriteGroup.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace zqb {
namespace {

// A backlog's group journals up to a thousand writes: once committed, the room they took goes back, and a
// group of the usual size keeps its room for the next one. The thousandth write commits the group, however
// young: SQLite keeps every page the group dirties until then.
TEST(WriteGroup, TheJournalOfABacklogsGroupGivesItsRoomBackOnceCommitted) {
    test::TempDir dir;
    Connection connection((dir.path() / "group.db").string());
    connection.execute("CREATE TABLE rows (id INTEGER PRIMARY KEY, text TEXT)");
    WriteGroup group(connection, [](const WriteGroup::JournaledWrite&) {});
    std::vector<WriteGroup::Event> posted;
    WriteGroup::Schedule schedule;
    schedule.onWriterQueue = [] { return true; };
    schedule.post = [&](WriteGroup::Event event) { posted.push_back(event); };
    schedule.runAfter = [](int64_t, WriteGroup::Event) {};
    // The group never comes of age: only its posted commit ends it.
    schedule.now = [] { return std::chrono::steady_clock::time_point(); };
    group.setSchedule(std::move(schedule));
    const auto sql = std::make_shared<const std::string>("INSERT INTO rows (text, id) VALUES(?, ?)");

    const auto write = [&] {
        group.beforeWrite();
        connection.execute("INSERT INTO rows (text) VALUES('a row of some length')");
        group.journal({sql, {SQLiteValue(std::string("a row of some length"))}, "", true});
        group.afterWrite();
    };
    for (const std::size_t writes :
         {WriteGroup::mostWritesPerGroup - 1, WriteGroup::keptJournalCapacity / 2}) {
        SCOPED_TRACE(writes);
        for (std::size_t index = 0; index < writes; ++index) {
            write();
        }
        ASSERT_TRUE(group.isOpen());
        EXPECT_EQ(group.journaled(), writes);
        const std::size_t room = group.journalCapacity();
        EXPECT_GE(room, writes);
        group.handle(WriteGroup::Event::caughtUp);
        EXPECT_FALSE(group.isOpen());
        EXPECT_EQ(group.journaled(), 0u);
        if (writes > WriteGroup::keptJournalCapacity) {
            EXPECT_LE(group.journalCapacity(), WriteGroup::keptJournalCapacity);
        } else {
            EXPECT_EQ(group.journalCapacity(), room);
        }
    }
    for (std::size_t index = 0; index < WriteGroup::mostWritesPerGroup; ++index) {
        write();
    }
    EXPECT_FALSE(group.isOpen());
    EXPECT_EQ(group.journaled(), 0u);
}

}  // namespace
}  // namespace zqb

// A database file damaged between two launches: what it still holds reaches the gateway after the next
// start-up, whether the file is mended in place or must go aside for a new one.
#include "integration/EndToEndFixture.hpp"
#include "support/SharedDatabase.hpp"

#include <filesystem>
#include <string>

namespace zqb {
namespace {

class AnalyticsEndToEndDamagedFile : public test::EndToEndTest {
protected:
    // Stores events for the user "alice" while the gateway refuses them, damages the file with `sql`
    // between two launches, and lets the next launch send. Returns whether the file went aside.
    bool storeDamageAndRestart(const std::string& sql) {
        ZQBAnalyticsConfiguration configuration;
        configuration.setUserId("alice");
        replyWithConfiguration({{"countForRequest", 1000}});
        gateway.setReply(kReportPath, {500, ""});
        start(configuration);
        ZQBAnalytics::customEvent("before-damage-reported");
        goToBackground();
        ZQBHost::applicationDidBecomeActive();
        ZQBAnalytics::customEvent("before-damage-waiting");
        // Left in the events table: only a stop or a full stack packs events into a report.
        test::settleAll();
        Core::destroy();
        test::settleAll();
        ZQBHost::applicationDidBecomeActive();

        const auto file = *zqb::test::databaseFolder() / SQLiteProvider::fileName;
        Connection(file.string()).execute(sql);
        gateway.clearRequests();
        gateway.setReply(kReportPath, {200, "{}"});
        start(configuration);
        ZQBAnalytics::sendBufferedEvents();
        for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
            if (entry.path().filename().string().rfind("vorantel.db.damaged-", 0) == 0) {
                return true;
            }
        }
        return false;
    }

    // Both events reached the gateway once, each in an upload of the user "alice".
    void expectDelivered() {
        for (const std::string name : {"before-damage-reported", "before-damage-waiting"}) {
            SCOPED_TRACE(name);
            ASSERT_TRUE(waitForCustomEvent(name));
            int copies = 0;
            for (const auto& request : gateway.requests(kReportPath)) {
                for (const auto& event : eventsIn(request)) {
                    if (event.value("name", "") == name) {
                        ++copies;
                        EXPECT_EQ(request.header("UserId"), encodedId("alice"));
                    }
                }
            }
            EXPECT_EQ(copies, 1);
        }
    }
};

TEST_F(AnalyticsEndToEndDamagedFile, AFileLackingATableIsMendedAndWhatItHeldIsSent) {
    EXPECT_FALSE(storeDamageAndRestart("DROP TABLE tutorialMarkEntry"));
    expectDelivered();
}

TEST_F(AnalyticsEndToEndDamagedFile, AFileThatMustGoAsideHandsWhatItHeldToTheNewOneAndItIsSent) {
    EXPECT_TRUE(storeDamageAndRestart("ALTER TABLE levelResource DROP COLUMN amount"));
    expectDelivered();
}

}  // namespace
}  // namespace zqb

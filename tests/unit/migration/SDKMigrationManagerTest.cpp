#include "migration/SDKMigrationManager.hpp"

#include "core/CoreFactory.hpp"
#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "database/Statement.hpp"
#include "host/AtomicFile.hpp"
#include "host/Environment.hpp"
#include "migration/KeyedUnarchiver.hpp"
#include "repositories/ProjectRepository.hpp"
#include "repositories/UserRepository.hpp"
#include "support/KeyedArchiveWriter.hpp"
#include "support/LogCapture.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zqb {
namespace {

using test::KeyedArchiveWriter;
using Index = KeyedArchiveWriter::Index;

constexpr const char* kKey = "legacy-key";

// The manager over a real database in a temporary application-support directory, with the legacy files
// written where the earlier library left them.
class MigrationManager : public ::testing::Test {
protected:
    MigrationManager() {
        project = std::make_shared<Project>(kKey);
        factory->projectRepository()->insert(project);
        log.clear();
    }

    std::shared_ptr<SDKMigrationManager> manager(const std::string& key = kKey) {
        return std::make_shared<SDKMigrationManager>(factory, key, host::Environment::shared().files());
    }

    void writeFile(const std::filesystem::path& path, const std::string& bytes) {
        std::filesystem::create_directories(path.parent_path());
        ASSERT_TRUE(host::AtomicFile::write(path, bytes, 0600));
    }
    void writeJson(const std::string& text, const std::string& key = kKey) {
        writeFile(env.directory() / "vorantel" / key / "migrationData.json", text);
    }
    void writeArchive(const std::string& bytes, const std::string& key = kKey) {
        writeFile(env.directory() / ("vorantel_" + key) / "UsersStorage", bytes);
    }

    // An archive whose active user "native" has level 6, one card value, one order id and one step; `note`,
    // when given, is a second card value.
    std::string archive(bool withUserId = true, const std::string& note = "") {
        KeyedArchiveWriter writer;
        KeyedArchiveWriter::Fields fields = {
            {"level", plist_new_uint(6)},
            {"transactionIds", KeyedArchiveWriter::ref(writer.list({writer.string("order-n")}))},
            {"tutorCompletedSteps", KeyedArchiveWriter::ref(writer.list({writer.integer(9)}))},
            {"playerPreferences",
             KeyedArchiveWriter::ref(writer.object(
                 "PlayerPreferences",
                 {{"preferences",
                   KeyedArchiveWriter::ref(writer.dictionary(
                       note.empty() ? std::vector<std::pair<std::string, Index>>{{"gold", writer.integer(3)}}
                                    : std::vector<std::pair<std::string, Index>>{
                                          {"gold", writer.integer(3)}, {"note", writer.string(note)}}))}}))}};
        if (withUserId) {
            fields.emplace_back("userId", KeyedArchiveWriter::ref(writer.string("native")));
        }
        const Index user = writer.object("DataStorage", fields);
        return writer.bytes(writer.object(
            "UsersStorages",
            {{"activeUser", KeyedArchiveWriter::ref(writer.string("native"))},
             {"dataStorages", KeyedArchiveWriter::ref(writer.dictionary(
                                  std::vector<std::pair<std::string, Index>>{{"native", user}}))},
             {"trackingAvailable", plist_new_bool(0)}}));
    }

    // Rows as a later start reads them from the file, through a connection of the test's own.
    std::vector<SQLiteRow> rows(const std::string& sql) {
        Connection connection((env.directory() / "vorantel" / "vorantel.db").string());
        Statement statement(connection, sql);
        std::vector<SQLiteRow> result;
        while (statement.step()) {
            result.push_back(statement.cursor().row());
        }
        return result;
    }
    std::size_t count(const std::string& table) { return rows("SELECT * FROM " + table).size(); }
    std::size_t written() {
        return count("users") + count("peopleCards") + count("realPaymentMarks") + count("tutorialMarkEntry");
    }
    // The project row: activeUserId, trackingAvailable, isMigrated.
    SQLiteRow projectRow() {
        return rows(
                   "SELECT activeUserId, trackingAvailable, isMigrated FROM projects WHERE applicationKey = "
                   "'" +
                   std::string(kKey) + "'")
            .at(0);
    }

    test::ScopedEnvironment env;
    test::LogCapture log;
    std::shared_ptr<SQLiteProvider> database = zqb::test::sharedDatabase();
    std::shared_ptr<CoreFactory> factory = std::make_shared<CoreFactory>(
        nullptr, nullptr, nullptr, database, zqb::host::Environment::shared().clock());
    std::shared_ptr<Project> project;
};

TEST_F(MigrationManager, ThePluginFileBecomesTheActiveUserWithItsCardMarksAndSteps) {
    writeJson(
        R"({"deviceId":"dev","userId":"u1","prevUserId":"u0","level":4,"trackingAvailable":false,)"
        R"("userCard":{"coins":5,"name":"Ann"},"transactionIds":["o1","o2"],"tutorCompletedSteps":[1,2]})");
    manager()->migrate(project);

    const auto users = rows("SELECT id, projectId, level, userId, previousUserId, isDefaultUser FROM users");
    ASSERT_EQ(users.size(), 1u);
    const int64_t userKey = *rowInteger(users[0], 0);
    EXPECT_EQ(rowInteger(users[0], 1), project->idKey);
    EXPECT_EQ(rowInteger(users[0], 2), 4);
    EXPECT_EQ(rowText(users[0], 3), "u1");
    EXPECT_EQ(rowText(users[0], 4), "u0");
    EXPECT_EQ(rowInteger(users[0], 5), 0);

    EXPECT_EQ(projectRow(),
              (SQLiteRow{SQLiteValue(userKey), SQLiteValue(int64_t{0}), SQLiteValue(int64_t{1})}));
    const auto cards = rows("SELECT userId, json, updated, cleared, changedKeys FROM peopleCards");
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0],
              (SQLiteRow{SQLiteValue(userKey), SQLiteValue(std::string(R"({"coins":5,"name":"Ann"})")),
                         SQLiteValue(int64_t{0}), SQLiteValue(int64_t{0}), SQLiteValue(std::string())}));
    EXPECT_EQ(rows("SELECT projectId, orderId FROM realPaymentMarks ORDER BY id"),
              (std::vector<SQLiteRow>{{SQLiteValue(project->idKey), SQLiteValue(std::string("o1"))},
                                      {SQLiteValue(project->idKey), SQLiteValue(std::string("o2"))}}));
    EXPECT_EQ(rows("SELECT userId, step FROM tutorialMarkEntry ORDER BY id"),
              (std::vector<SQLiteRow>{{SQLiteValue(userKey), SQLiteValue(int64_t{1})},
                                      {SQLiteValue(userKey), SQLiteValue(int64_t{2})}}));

    const auto lines = log.matching("Completely migrate data with data: \n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "DEBUG Completely migrate data with data: \n\tdeviceId: dev\n\tuserId: u1\n\tprevUserId: u0\n"
              "\ttrackingAvailable: false\n\tlevel: 4\n\t userCardInfo: \n\t\tcoins: 5\n\t\tname: Ann\n"
              "\ttransactionIds: \n\t\to1,\n\t\to2\n\ttutorCompletedSteps: 1, 2\n");
}

TEST_F(MigrationManager, TheArchiveAloneImportsItsActiveUser) {
    writeArchive(archive());
    manager()->migrate(project);
    const auto users = rows("SELECT id, level, userId FROM users");
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(rowInteger(users[0], 1), 6);
    EXPECT_EQ(rowText(users[0], 2), "native");
    EXPECT_EQ(projectRow(), (SQLiteRow{users[0][0], SQLiteValue(int64_t{0}), SQLiteValue(int64_t{1})}));
    EXPECT_EQ(rows("SELECT json FROM peopleCards"),
              (std::vector<SQLiteRow>{{SQLiteValue(std::string(R"({"gold":3})"))}}));
    EXPECT_EQ(rows("SELECT orderId FROM realPaymentMarks"),
              (std::vector<SQLiteRow>{{SQLiteValue(std::string("order-n"))}}));
    EXPECT_EQ(rows("SELECT step FROM tutorialMarkEntry"),
              (std::vector<SQLiteRow>{{SQLiteValue(int64_t{9})}}));
}

TEST_F(MigrationManager, BothSourcesOfOneUserReuseTheUserAndStoreTheRestTwice) {
    writeArchive(archive());
    writeJson(R"({"userId":"native","level":1,"trackingAvailable":true,"transactionIds":["order-n"]})");
    manager()->migrate(project);

    const auto users = rows("SELECT id, level FROM users");
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(rowInteger(users[0], 1), 6);  // the archive's level; the found user is used unchanged
    EXPECT_EQ(projectRow(), (SQLiteRow{users[0][0], SQLiteValue(int64_t{1}), SQLiteValue(int64_t{1})}));
    EXPECT_EQ(count("peopleCards"), 2u);
    EXPECT_EQ(count("realPaymentMarks"), 2u);
    EXPECT_EQ(log.count("Completely migrate data"), 2u);
}

TEST_F(MigrationManager, AUserOfTheProjectIsReusedAndOneOfAnotherProjectIsNot) {
    auto other = std::make_shared<Project>("other-key");
    factory->projectRepository()->insert(other);
    auto foreign = std::make_shared<User>(other->idKey, "u1", false);
    factory->userRepository()->insert(foreign);
    writeJson(R"({"userId":"u1","level":4})");
    manager()->migrate(project);
    EXPECT_EQ(count("users"), 2u);

    auto mine = std::make_shared<Project>("third-key");
    factory->projectRepository()->insert(mine);
    auto stored = std::make_shared<User>(mine->idKey, "u1", true);
    stored->level = 9;
    factory->userRepository()->insert(stored);
    manager()->migrate(mine);
    EXPECT_EQ(count("users"), 3u);
    EXPECT_EQ(mine->activeUserId, stored->idKey);
    EXPECT_EQ(rows("SELECT level, isDefaultUser FROM users WHERE id = " + std::to_string(stored->idKey)),
              (std::vector<SQLiteRow>{{SQLiteValue(int64_t{9}), SQLiteValue(int64_t{1})}}));
}

TEST_F(MigrationManager, ARecordWithoutUserOrLevelLogsAnErrorAndWritesNothing) {
    writeJson(R"({"userId":"u1"})");
    manager()->migrate(project);
    EXPECT_EQ(log.count("ERROR Migration failed: level not found"), 1u);
    EXPECT_EQ(written(), 0u);
    EXPECT_EQ(projectRow()[2], SQLiteValue(int64_t{0}));

    // The archive's user has no id: its error, and the plug-in file is still tried in the same start.
    log.clear();
    writeArchive(archive(false));
    writeJson(R"({"userId":"u1","level":2})");
    manager()->migrate(project);
    EXPECT_EQ(log.count("ERROR Migration failed: userId not found"), 1u);
    EXPECT_EQ(rows("SELECT userId FROM users"), (std::vector<SQLiteRow>{{SQLiteValue(std::string("u1"))}}));
    EXPECT_EQ(projectRow()[2], SQLiteValue(int64_t{1}));
}

TEST_F(MigrationManager, WithoutSourcesOrOnceMigratedNothingHappens) {
    manager()->migrate(project);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(written(), 0u);
    EXPECT_FALSE(project->isMigrated);

    // Unreadable sources count as none: a folder where the file belongs, malformed contents.
    std::filesystem::create_directories(env.directory() / ("vorantel_" + std::string(kKey)) / "UsersStorage");
    writeJson(R"({"userId":"u1","level":)");
    manager()->migrate(project);
    EXPECT_EQ(written(), 0u);
    EXPECT_EQ(projectRow()[2], SQLiteValue(int64_t{0}));

    writeJson(R"({"userId":"u1","level":1})");
    manager()->migrate(project);
    ASSERT_EQ(count("users"), 1u);

    // A later start reads the project as stored: migrated, so the changed file is not read again.
    writeJson(R"({"userId":"u2","level":1})");
    const auto reread =
        ProjectRepository(zqb::test::sharedDatabase(), zqb::host::Environment::shared().clock()).list();
    ASSERT_EQ(reread.size(), 1u);
    ASSERT_TRUE(reread[0]->isMigrated);
    manager()->migrate(reread[0]);
    EXPECT_EQ(count("users"), 1u);
}

TEST_F(MigrationManager, AUserThatCannotBeStoredLeavesEverythingForALaterStart) {
    Connection((env.directory() / "vorantel" / "vorantel.db").string())
        .execute("CREATE TRIGGER refuse BEFORE INSERT ON users BEGIN SELECT RAISE(ABORT, 'refused'); END");
    writeJson(R"({"userId":"u1","level":4,"transactionIds":["o1"],"tutorCompletedSteps":[1]})");
    manager()->migrate(project);

    EXPECT_EQ(log.count("ERROR Migration failed: the user could not be stored"), 1u);
    EXPECT_EQ(log.count("Completely migrate"), 0u);
    EXPECT_EQ(written(), 0u);
    EXPECT_EQ(projectRow(), (SQLiteRow{std::nullopt, SQLiteValue(int64_t{1}), SQLiteValue(int64_t{0})}));
    EXPECT_FALSE(project->isMigrated);
}

TEST_F(MigrationManager, AnImportWithAWriteThatFailsIsNotMarkedAndIsTriedAgain) {
    writeJson(R"({"userId":"u1","level":4,"transactionIds":["o1","o2"],"tutorCompletedSteps":[1,2]})");
    // Each refuses one write of the import: the card, the second order id, the second step, the update that
    // makes the user active, the update that marks the project.
    const std::vector<std::string> refusals = {
        "BEFORE INSERT ON peopleCards",
        "BEFORE INSERT ON realPaymentMarks WHEN NEW.orderId = 'o2'",
        "BEFORE INSERT ON tutorialMarkEntry WHEN NEW.step = 2",
        "BEFORE UPDATE ON projects WHEN NEW.isMigrated = 0",
        "BEFORE UPDATE ON projects WHEN NEW.isMigrated = 1",
    };
    for (std::size_t index = 0; index < refusals.size(); ++index) {
        const std::string& refusal = refusals[index];
        SCOPED_TRACE(refusal);
        auto fresh = std::make_shared<Project>("refusing-" + std::to_string(index));
        factory->projectRepository()->insert(fresh);
        ASSERT_NE(fresh->idKey, -1);
        const auto migrated = [&] {
            return rows("SELECT isMigrated FROM projects WHERE id = " + std::to_string(fresh->idKey))
                .at(0)[0];
        };
        Connection((env.directory() / "vorantel" / "vorantel.db").string())
            .execute("CREATE TRIGGER refuse " + refusal + " BEGIN SELECT RAISE(ABORT, 'refused'); END");
        log.clear();
        manager()->migrate(fresh);
        EXPECT_FALSE(fresh->isMigrated);
        EXPECT_EQ(migrated(), SQLiteValue(int64_t{0}));
        EXPECT_EQ(log.count("ERROR Migration failed: "), 1u);
        EXPECT_EQ(log.count("Completely migrate"), 0u);

        // A later start, with the database writing again, imports the file.
        Connection((env.directory() / "vorantel" / "vorantel.db").string()).execute("DROP TRIGGER refuse");
        manager()->migrate(fresh);
        EXPECT_TRUE(fresh->isMigrated);
        EXPECT_EQ(migrated(), SQLiteValue(int64_t{1}));
    }
}

TEST_F(MigrationManager, CardValuesThatTheReaderCannotHoldAreLeftOutOneByOne) {
    const std::string deep = std::string(600, '[') + std::string(600, ']');
    writeJson(R"({"userId":"u1","level":2,"userCard":{"coins":5,"huge":1e400,"low":-2e308,"deep":)" + deep +
              R"(,"name":"Ann"},"tutorCompletedSteps":[1,1e999],"other":)" + deep + "}");
    manager()->migrate(project);
    EXPECT_EQ(rows("SELECT json FROM peopleCards"),
              (std::vector<SQLiteRow>{{SQLiteValue(std::string(R"({"coins":5,"name":"Ann"})"))}}));
    EXPECT_EQ(count("tutorialMarkEntry"), 0u);
    EXPECT_EQ(projectRow()[2], SQLiteValue(int64_t{1}));
}

TEST_F(MigrationManager, LargeLegacyFilesAreReadAndTooLargeOnesAreNamedInAWarning) {
    const std::string note(1536 * 1024, 'x');
    writeArchive(archive(true, note));
    writeJson(R"({"userId":"u1","level":1,"userCard":{"note":")" + note + R"("}})");
    manager()->migrate(project);
    EXPECT_EQ(count("users"), 2u);
    EXPECT_EQ(rows("SELECT length(json) FROM peopleCards ORDER BY id"),
              (std::vector<SQLiteRow>{{SQLiteValue(int64_t(note.size() + 20))},
                                      {SQLiteValue(int64_t(note.size() + 11))}}));
    EXPECT_EQ(log.count("WARNING"), 0u);

    // Beyond what the readers take: each file is named with its size, and nothing is read.
    auto other = std::make_shared<Project>("other-key");
    factory->projectRepository()->insert(other);
    writeArchive(archive(), "other-key");
    writeJson(R"({"userId":"u2","level":1})", "other-key");
    const auto archivePath = env.directory() / "vorantel_other-key" / "UsersStorage";
    const auto jsonPath = env.directory() / "vorantel" / "other-key" / "migrationData.json";
    std::filesystem::resize_file(archivePath, KeyedUnarchiver::maxArchiveBytes + 1);
    std::filesystem::resize_file(jsonPath, SDKMigrationManager::maxJsonBytes + 1);
    log.clear();
    manager("other-key")->migrate(other);
    EXPECT_EQ(count("users"), 2u);
    EXPECT_FALSE(other->isMigrated);
    EXPECT_EQ(log.matching("WARNING"),
              (std::vector<std::string>{
                  "WARNING Legacy data not migrated: the file " + archivePath.string() + " holds " +
                      std::to_string(KeyedUnarchiver::maxArchiveBytes + 1) + " bytes, more than the " +
                      std::to_string(KeyedUnarchiver::maxArchiveBytes) + " that are read",
                  "WARNING Legacy data not migrated: the file " + jsonPath.string() + " holds " +
                      std::to_string(SDKMigrationManager::maxJsonBytes + 1) + " bytes, more than the " +
                      std::to_string(SDKMigrationManager::maxJsonBytes) + " that are read"}));
}

TEST_F(MigrationManager, AKeyThatIsNoFolderNameFindsNoLegacyData) {
    // The support directory sits one level down, so that paths climbing out of it stay in the test's folder.
    const std::filesystem::path support = env.directory() / "support";
    env.files().setApplicationSupportDirectory(support);
    const std::string json = R"({"userId":"u1","level":1})";
    writeFile(support / "migrationData.json", json);                      // "vorantel" / ".." / file
    writeFile(support / "vorantel" / "migrationData.json", json);         // "vorantel" / "." (or "") / file
    writeFile(env.directory() / "outside" / "migrationData.json", json);  // "vorantel" / "../../outside"
    writeFile(support / "vorantel" / "a" / "b" / "migrationData.json", json);
    std::filesystem::create_directories(support / "vorantel_");
    writeFile(support / "UsersStorage", archive());  // "vorantel_" + "/.." / "UsersStorage"
    writeFile(support / "vorantel_a", archive());    // "vorantel_" + "a\0b", cut at the NUL

    for (const std::string& key :
         std::vector<std::string>{"..", ".", "../../outside", "a/b", "/..", std::string("a\0b", 3), ""}) {
        manager(key)->migrate(project);
    }
    EXPECT_EQ(written(), 0u);
    EXPECT_FALSE(project->isMigrated);
}

}  // namespace
}  // namespace zqb

#include "backend/Config.hpp"
#include "host/Environment.hpp"
#include "repositories/MessagingCategoryRepository.hpp"
#include "repositories/ProjectRepository.hpp"
#include "support/LogCapture.hpp"
#include "unit/repositories/RepositoryTest.hpp"

#include <gtest/gtest.h>

namespace zqb {
namespace {

TEST_F(RepositoriesTest, ProjectsStoreTheDefaultConfigurationAsItsJsonText) {
    ProjectRepository repository(database, zqb::host::Environment::shared().clock());
    auto project = std::make_shared<Project>("key");
    repository.insert(project);
    EXPECT_EQ(project->idKey, 1);
    const auto stored = rows("SELECT configuration FROM projects").at(0).at(0);
    EXPECT_EQ(
        stored,
        SQLiteValue(*toJSONData(Config::defaulConfiguration(*zqb::host::Environment::shared().clock()))));
    EXPECT_NE(stored, SQLiteValue(std::string("{}")));

    test::LogCapture log(ZQBLogLevel::error);
    auto duplicate = std::make_shared<Project>("key");
    repository.insert(duplicate);
    EXPECT_EQ(duplicate->idKey, -1);
    EXPECT_EQ(repository.list().size(), 1u);
    EXPECT_EQ(log.count("UNIQUE constraint failed: projects.applicationKey"), 1u);

    project->activeUserId = 3;
    project->trackingAvailable = false;
    project->isReferralSent = true;
    project->applicationBundle = "com.example.game";
    project->applicationVersion = "1.0";
    project->applicationBuildVersion = "7";
    Config config = Config::defaulConfiguration(*zqb::host::Environment::shared().clock());
    config.timeForRequest = 1;
    const std::string configText = *toJSONData(config);
    project->configurationJson = configText;
    project->savedTime = 11;
    project->categoriesVersion = 12;
    project->isMigrated = true;
    repository.update(project);
    EXPECT_EQ(rows("SELECT * FROM projects").at(0),
              (SQLiteRow{SQLiteValue(int64_t{1}), SQLiteValue(std::string("key")), SQLiteValue(int64_t{3}),
                         SQLiteValue(int64_t{0}), SQLiteValue(std::string("com.example.game")),
                         SQLiteValue(std::string("1.0")), SQLiteValue(std::string("7")),
                         SQLiteValue(configText), SQLiteValue(int64_t{1}), SQLiteValue(int64_t{11}),
                         SQLiteValue(int64_t{12}), SQLiteValue(int64_t{1})}));
    repository.insert(std::make_shared<Project>("other key"));
    expectInStep(repository, zqb::host::Environment::shared().clock());
}

TEST_F(RepositoriesTest, AStoredConfigurationThatDoesNotReadGivesWayToTheDefaultAtTheNextUpdate) {
    ProjectRepository(database, zqb::host::Environment::shared().clock())
        .insert(std::make_shared<Project>("key"));
    execute(R"(UPDATE projects SET configuration = '{"timeForRequest":1}')");
    reopen();
    test::LogCapture log(ZQBLogLevel::info);
    ProjectRepository repository(database, zqb::host::Environment::shared().clock());
    const auto project = repository.list().at(0);
    EXPECT_FALSE(project->configurationJson);
    project->isReferralSent = true;
    repository.update(project);
    EXPECT_EQ(
        rows("SELECT configuration, isReferralSent FROM projects").at(0),
        (SQLiteRow{
            SQLiteValue(*toJSONData(Config::defaulConfiguration(*zqb::host::Environment::shared().clock()))),
            SQLiteValue(int64_t{1})}));
    EXPECT_TRUE(log.lines().empty());
}

MessagingCategory category(const std::string& id, std::vector<MassagingButtonInfo> buttons) {
    MessagingCategory result;
    result.id = id;
    result.buttons = std::move(buttons);
    return result;
}

TEST_F(RepositoriesTest, CategoriesStoreTheirButtonsAndSkipUnreadableRows) {
    MessagingCategoryRepository repository(database);
    const auto reply = category("reply", {{"yes", "Yes", "foreground"}, {"no", "No", std::nullopt}});
    const auto empty = category("empty", {});
    // The messaging service stores categories itself with the repository's column map.
    for (const auto& added : {reply, empty}) {
        repository.list();
        const auto idKey = repository.database()->insert(
            MessagingCategoryRepository::table, MessagingCategoryRepository::prepareContentValues(added));
        ASSERT_TRUE(idKey);
        auto cached = added;
        cached.idKey = *idKey;
        repository.cache().push_back(cached);
    }
    EXPECT_EQ(
        rows("SELECT identifier, buttons FROM messagingCategory").at(0),
        (SQLiteRow{SQLiteValue(std::string("reply")),
                   SQLiteValue(std::string(R"([{"id":"yes","text":"Yes","activationMode":"foreground"},)"
                                           R"({"id":"no","text":"No"}])"))}));
    EXPECT_EQ(rows("SELECT buttons FROM messagingCategory WHERE id = 2").at(0).at(0),
              SQLiteValue(std::string("[]")));
    execute(R"(INSERT INTO messagingCategory (identifier, buttons) VALUES ('broken', '{}'))");
    execute(R"(INSERT INTO messagingCategory (identifier, buttons) VALUES ('text', 'not json'))");
    execute(R"(INSERT INTO messagingCategory (identifier, buttons) VALUES (NULL, '[]'))");

    reopen();
    MessagingCategoryRepository fresh(database);
    const auto categories = fresh.list();
    ASSERT_EQ(categories.size(), 2u);
    EXPECT_EQ(categories[0].idKey, 1);
    EXPECT_EQ(categories[0].buttons, reply.buttons);
    EXPECT_EQ(categories[1].id, "empty");

    fresh.deleteItems({});
    EXPECT_EQ(rows("SELECT * FROM messagingCategory").size(), 5u);
    fresh.deleteItems({categories[0]});
    ASSERT_EQ(fresh.list().size(), 1u);
    EXPECT_EQ(rows("SELECT id FROM messagingCategory ORDER BY id").at(0).at(0), SQLiteValue(int64_t{2}));
}

}  // namespace
}  // namespace zqb

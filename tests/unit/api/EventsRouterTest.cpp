// The messaging module's door: what it writes to the log, and the dictionaries its category handler gets.
// The queued calls are driven end to end in the integration tests.

#include <ZQBAnalytics/module/ZQBEventsRouter.hpp>

#include "api/MessagingCategoryDictionaries.hpp"
#include "support/LogCapture.hpp"

#include <gtest/gtest.h>

namespace zqb {
namespace {

using Texts = std::vector<std::string>;

TEST(EventsRouter, LogMessagesKeepTheirTextAtTheModulesLevel) {
    test::LogCapture log;
    // Written before the call returns: on the caller's thread.
    for (int64_t level : {1, 2, 3, 0, 4, -1, 5}) {
        ZQBEventsRouter::sendLogMessage(level, "line " + std::to_string(level));
    }
    ZQBEventsRouter::sendLogMessage(3, "[Push] \tbroken \xFF");
    EXPECT_EQ(log.texts(),
              (Texts{"ERROR line 1", "WARNING line 2", "INFO line 3", "DEBUG line 0", "DEBUG line 4",
                     "DEBUG line -1", "DEBUG line 5", "INFO [Push] \tbroken \xEF\xBF\xBD"}));

    // Filtered by the log level like the library's own lines.
    test::LogCapture errorsOnly(ZQBLogLevel::error);
    ZQBEventsRouter::sendLogMessage(3, "hidden");
    ZQBEventsRouter::sendLogMessage(1, "shown");
    EXPECT_EQ(errorsOnly.texts(), Texts{"ERROR shown"});
}

TEST(EventsRouter, EachCategoryBecomesItsOwnDictionary) {
    MessagingCategory full;
    full.idKey = 12;
    full.id = "invite";
    full.buttons = {{"accept", "Accept", "foreground"}, {"decline", "Decline", std::nullopt}};
    MessagingCategory empty;
    empty.id = "";
    MessagingCategory unencodable;
    unencodable.id = "bad \xFF";  // a stored text that is not UTF-8 cannot be written as JSON

    const auto dictionaries = messagingCategoryDictionaries({full, unencodable, empty});
    ASSERT_EQ(dictionaries.size(), 3u);
    EXPECT_EQ(dictionaries[0], nlohmann::json::parse(R"({"id": "invite", "buttons": [
        {"id": "accept", "text": "Accept", "activationMode": "foreground"}, {"id": "decline", "text": "Decline"}]})"));
    EXPECT_EQ(dictionaries[1], nlohmann::json::object());
    EXPECT_EQ(dictionaries[2], nlohmann::json::parse(R"({"id": "", "buttons": []})"));
    EXPECT_TRUE(messagingCategoryDictionaries({}).empty());
}

}  // namespace
}  // namespace zqb

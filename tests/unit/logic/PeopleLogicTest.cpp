// The user-card logic between the public class and the people service: what reaches the service, in which
// form, and what stops on the way.

#include "logic/PeopleLogic.hpp"

#include "foundation/QueueManager.hpp"
#include "services/PeopleServiceProtocol.hpp"
#include "support/LogCapture.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace zqb {
namespace {

using Texts = std::vector<std::string>;

// Records the calls the logic makes, as text; a read answers the text "stored <key>".
class RecordingPeopleService final : public PeopleServiceProtocol {
public:
    void setOnClearedCard(Action) override {}
    void setDidChangeCheaterMark(Action) override {}
    bool isNeedToSend() override { return false; }
    bool isNeedToClear() override { return false; }
    void removeNulls() override {}
    void setValue(const std::string& key, const PeopleValueType& value) override {
        calls.push_back("set " + key + "=" + value.description());
    }
    void getValue(const std::string& key,
                  const std::function<void(std::optional<PeopleValueType>)>& completion) override {
        calls.push_back("get " + key);
        completion(PeopleValueType("stored " + key));
    }
    void increment(const std::string& key, const PeopleValueType& value) override {
        calls.push_back("increment " + key + "+" + value.description());
    }
    void unset(const std::vector<std::string>& properties) override {
        std::string joined;
        for (const auto& key : properties) {
            joined += (joined.empty() ? "" : "|") + key;
        }
        calls.push_back("unset " + joined);
    }
    void clearUser() override { calls.push_back("clear"); }
    void unmarkUpdated() override {}
    void unmarkCleared() override {}
    void removeInactiveUserData(const std::vector<std::shared_ptr<User>>&) override {}
    PeopleValueMap getParameters(bool) override { return {}; }

    Texts calls;  // written on the income queue, read once it is idle
};

class PeopleLogicTest : public ::testing::Test {
protected:
    PeopleLogicTest() { logic->setPeopleService(service); }

    static void drain() { ASSERT_TRUE(QueueManager::incomeQueue().waitUntilAllOperationsAreFinished()); }

    // The answer a read gives, once the queue has run it ("<nothing>" when it gives no value).
    std::string read(const std::string& key, const std::string& method = "getValue(key:_:)") {
        std::string answer = "<not called>";
        logic->getValue(
            key,
            [&answer](std::optional<PeopleValueType> value) {
                answer = value ? value->description() : "<nothing>";
            },
            method);
        drain();
        return answer;
    }

    test::LogCapture log;
    std::shared_ptr<RecordingPeopleService> service = std::make_shared<RecordingPeopleService>();
    std::shared_ptr<std::atomic<bool>> initialized = std::make_shared<std::atomic<bool>>(true);
    std::shared_ptr<PeopleLogic> logic = std::make_shared<PeopleLogic>(
        [initialized = initialized](const std::string& method) {
            if (!*initialized) {
                Logger::writeLog(ZQBLogLevel::error, "not initialized: " + method);
            }
            return initialized->load();
        },
        QueueManager::incomeQueue());
};

TEST_F(PeopleLogicTest, ReservedKeysAreFoundInAnyCaseOnceControlCharactersAreRemoved) {
    const std::string zeroWidth = "\xE2\x80\x8B";  // ZERO WIDTH SPACE (Cf)
    logic->setValue("AGE", PeopleValueType(30), "set(key:value:)");
    logic->setValue("Level", PeopleValueType(3), "set(key:value:)");
    logic->setValue("E" + zeroWidth + "mail", PeopleValueType("ann@example.com"), "set(key:value:)");
    logic->increment("a" + zeroWidth + "GE", PeopleValueType(1), "increment(key:value:)");
    logic->unset({"NAME", "x", "na\x01me", ""}, "unset(properties:)");
    logic->setReservedValue("name", PeopleValueType("Ann"), "setName(name:)");
    drain();
    EXPECT_EQ(service->calls, (Texts{"set age=30", "set Level=3", "set email=ann@example.com",
                                     "increment age+1", "unset name|x|name", "set name=Ann"}));
    // A read finds the value under the key it was written with, whatever its spelling.
    EXPECT_EQ(read("EMA\x01IL"), "stored email");

    // A reserved key spelled with a control character inside is still reserved, so its kind is checked.
    log.clear();
    service->calls.clear();
    logic->setValue("na" + zeroWidth + "me", PeopleValueType(5), "set(key:value:)");
    logic->setValue("Age", PeopleValueType(2.5), "set(key:value:)");
    logic->increment("GENDER", PeopleValueType(1), "increment(key:value:)");
    drain();
    EXPECT_TRUE(service->calls.empty());
    EXPECT_EQ(log.texts(),
              (Texts{"ERROR Invalid value! The [5] value of the reserved key [name] must be String",
                     "ERROR Invalid value! The [2.5] value of the reserved key [age] must be Int",
                     "ERROR Invalid value! The [1] value of the reserved key [gender] must be "
                     "ZQBGender"}));
}

TEST_F(PeopleLogicTest, CallsBeforeStartUpOrAfterTheLogicIsGoneChangeNothingAndReadsAnswerNothing) {
    *initialized = false;
    logic->setReservedValue("name", PeopleValueType("Ann"), "setName(name:)");
    logic->setValue("k", PeopleValueType(1), "set(key:value:)");
    logic->unset({"k"}, "unset(property:)");
    logic->clearUser("clearUser()");
    EXPECT_EQ(read("name", "getName(completionHandler:)"), "<nothing>");
    EXPECT_TRUE(service->calls.empty());
    EXPECT_EQ(log.texts(),
              (Texts{"ERROR not initialized: setName(name:)", "ERROR not initialized: set(key:value:)",
                     "ERROR not initialized: unset(property:)", "ERROR not initialized: clearUser()",
                     "ERROR not initialized: getName(completionHandler:)"}));

    // An empty key is refused, and the read still answers.
    *initialized = true;
    EXPECT_EQ(read(""), "<nothing>");
    EXPECT_TRUE(service->calls.empty());

    // Calls queued for a logic released before they run do nothing; a read answers nothing.
    QueueManager::incomeQueue().pause();
    std::string answer = "<not called>";
    logic->setValue("k", PeopleValueType(1), "set(key:value:)");
    logic->getValue(
        "k",
        [&answer](std::optional<PeopleValueType> value) {
            answer = value ? value->description() : "<nothing>";
        },
        "getValue(key:_:)");
    logic.reset();
    QueueManager::incomeQueue().resume();
    drain();
    EXPECT_EQ(answer, "<nothing>");
    EXPECT_TRUE(service->calls.empty());
}

}  // namespace
}  // namespace zqb

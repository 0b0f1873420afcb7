// The public analytics interface, driven as a host drives it: a core started in a test environment with a
// recording logic in place of the real one, the log captured. What reaches the logic is what the front and
// the argument rules let through.

#include <ZQBAnalytics/ZQBAnalytics.hpp>
#include <ZQBAnalytics/ZQBEngineWrapper.hpp>

#include "backend/Config.hpp"
#include "core/Core.hpp"
#include "database/SQLiteProvider.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "model/Project.hpp"
#include "network/BackendConfigUrl.hpp"
#include "platform/IdentifierCollector.hpp"
#include "platform/KeychainStore.hpp"
#include "services/ProjectServiceProtocol.hpp"
#include "services/ServiceFactoryProtocol.hpp"
#include "services/StateManagerProtocol.hpp"
#include "support/LogCapture.hpp"
#include "support/RecordingAnalyticsLogic.hpp"
#include "support/RuleMessages.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"
#include "support/Wait.hpp"
#include "validation/CustomEventParamsLimit.hpp"
#include "validation/Validator.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

namespace zqb {
namespace {

using Texts = std::vector<std::string>;
using test::RecordingAnalyticsLogic;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const std::string kControls = "\x01\xE2\x80\x8B\x7F";  // U+0001, ZERO WIDTH SPACE (Cf), DEL
const std::string kInvalidUtf8 =
    "a\xFF"
    "b\xC3";  // a stray byte and a truncated sequence
const std::string kRepaired =
    "a\xEF\xBF\xBD"
    "b\xEF\xBF\xBD";  // each ill-formed sequence became U+FFFD

using test::canceled;
using test::error;
using test::notInitialized;
using test::truncated;

std::string quoted(const std::string& text) {
    return RecordingAnalyticsLogic::quoted(text);
}

void drain() {
    ASSERT_TRUE(QueueManager::incomeQueue().waitUntilAllOperationsAreFinished());
}

// A core in the test environment whose start-up installs the recording logic.
class AnalyticsFront : public ::testing::Test {
protected:
    AnalyticsFront() {
        LogicFactory factory;
        factory.analyticsLogic = [logic = logic, services = services](
                                     const auto& serviceFactory,
                                     const auto&) -> std::shared_ptr<AnalyticsLogicProtocol> {
            *services = serviceFactory;
            return logic;
        };
        Core::setLogicFactory(std::move(factory));
    }

    ~AnalyticsFront() override {
        drain();
        Core::destroy();
        drain();
        Core::resetLogicFactory();
        Validator::setExcludedOptions(std::nullopt);
        CustomEventParamsLimit::clear();
    }

    void start() {
        ZQBAnalytics::initialize("test-application-key");
        drain();
        ASSERT_EQ(Core::shared()->analyticsProxy()->analyticsLogic(), logic);
        log.clear();
    }

    // The log lines of the calls made so far, once the income queue has run them.
    Texts logAfterQueue() {
        drain();
        return log.texts();
    }

    // Runs `operation` on the income queue, as the logic runs the services, and waits for it.
    void onIncomeQueue(const std::function<void()>& operation) {
        QueueManager::incomeQueue().addOperation(operation);
        drain();
    }

    test::ScopedEnvironment environment;
    test::LogCapture log;
    std::shared_ptr<RecordingAnalyticsLogic> logic = std::make_shared<RecordingAnalyticsLogic>();
    // The service factory of the last start-up; written and read on the income queue.
    std::shared_ptr<std::shared_ptr<ServiceFactoryProtocol>> services =
        std::make_shared<std::shared_ptr<ServiceFactoryProtocol>>();
};

// ---- Before and right after initialisation ---------------------------------------------------------------

TEST_F(AnalyticsFront, CallsBeforeInitialisationAreRefusedByNameAndQueriesAnswerTheirDefaults) {
    std::mutex mutex;
    Texts answers;
    auto answer = [&](const std::string& text) {
        std::lock_guard lock(mutex);
        answers.push_back(text);
    };
    ZQBAnalytics::customEvent("Boss");
    ZQBAnalytics::levelUp(3);
    ZQBAnalytics::getDeviceId(answer);
    ZQBAnalytics::getSDKVersion(answer);
    ZQBAnalytics::getUserId(answer);
    ZQBAnalytics::getCurrentLevel([&](int64_t level) { answer(std::to_string(level)); });
    ZQBAnalytics::getTrackingAvailability([&](bool flag) { answer(flag ? "true" : "false"); });
    ZQBAnalytics::isRestoreTransactionHistoryRequired([&](bool flag) { answer(flag ? "true" : "false"); });

    EXPECT_EQ(logAfterQueue(), (Texts{notInitialized("customEvent(_:_:)"), notInitialized("levelUp(_:_:)"),
                                      notInitialized("getDeviceId(_:)"), notInitialized("getSDKVersion(_:)"),
                                      notInitialized("getUserId(_:)"), notInitialized("getCurrentLevel(_:)"),
                                      notInitialized("getTrackingAvailability(_:)"),
                                      notInitialized("isRestoreTransactionHistoryRequired(_:)")}));
    EXPECT_EQ(answers, (Texts{"", "", "", "1", "false", "false"}));
    EXPECT_TRUE(logic->calls().empty());

    // The parameter limit is the built-in one until a project's configuration is in force.
    ZQBCustomEventParameters parameters;
    for (int i = 0; i < 21; ++i) {
        parameters.add("p" + std::to_string(i), int64_t{i});
    }
    EXPECT_EQ(parameters.getAllParameters().size(), 20u);
    EXPECT_TRUE(log.contains("[CustomEventParameters] Limit of [20] is reached when adding a new parameter"));
}

TEST_F(AnalyticsFront, ACallMadeRightAfterInitialiseWaitsForTheStartUpAndIsServed) {
    std::string level;
    ZQBAnalytics::initialize("test-application-key");
    ZQBAnalytics::customEvent("Boss");
    ZQBAnalytics::getCurrentLevel([&](int64_t value) { level = std::to_string(value); });
    drain();
    EXPECT_EQ(logic->calls(), (Texts{"customEvent(\"Boss\", {})", "getCurrentLevel()"}));
    EXPECT_EQ(level, "7");

    ZQBAnalytics::initialize("test-application-key");
    EXPECT_TRUE(
        log.contains("ERROR In the Initialize method an error has occurred: SDK is already initialized"));
}

TEST_F(AnalyticsFront, TheParameterLimitFollowsWhatTheLogicPublishes) {
    start();
    CustomEventParamsLimit::publish(2);
    ZQBCustomEventParameters parameters;
    parameters.add("a", true);
    parameters.add("b", 2.5);
    parameters.add("c", "x");
    EXPECT_EQ(log.texts(), (Texts{"ERROR [CustomEventParameters] Limit of [2] is reached when adding a new "
                                  "parameter"}));
}

// ---- Forwarding: what each member hands on ---------------------------------------------------------------

TEST_F(AnalyticsFront, ShortFormsAndParameterObjectsAreCopiedAtTheMomentOfTheCall) {
    start();
    ZQBAnalytics::levelUp(3);
    ZQBAnalytics::levelUp(3, {});
    ZQBAnalytics::virtualCurrencyPayment("sword", "weapon", 1, 100, "gold");
    ZQBAnalytics::startProgressionEvent("dungeon");
    ZQBAnalytics::finishProgressionEvent("dungeon");

    ZQBStartProgressionEventParameters start;
    start.setDifficulty(3);
    start.setSource("map");
    ZQBFinishProgressionEventParameters finish;
    finish.setDuration(42);
    finish.setSpent({{"gold", 5}});
    ZQBCustomEventParameters custom;
    custom.add("score", int64_t{10});
    ZQBAnalytics::startProgressionEvent("dungeon", start);
    ZQBAnalytics::finishProgressionEvent("dungeon", finish);
    ZQBAnalytics::customEvent("Boss", custom);
    // Changes after the calls do not reach them.
    start.setSource("menu");
    finish.setSuccessfulCompletion(true);
    custom.add("late", true);
    ZQBAnalytics::socialNetworkPost(ZQBSocialNetwork::facebook(), "win");
    ZQBAnalytics::socialNetworkConnect(ZQBSocialNetwork("custom"));
    ZQBAnalytics::replace("old", "new");
    ZQBAnalytics::adImpression("net", 0.25);
    drain();

    EXPECT_EQ(logic->calls(), (Texts{
                                  "levelUp(3, {})",
                                  "levelUp(3, {})",
                                  "virtualCurrencyPayment(\"sword\", \"weapon\", 1, {\"gold\": 100})",
                                  "startProgressionEvent(\"dungeon\", nil, nil)",
                                  "finishProgressionEvent(\"dungeon\", true, 0, {}, {})",
                                  "startProgressionEvent(\"dungeon\", 3, \"map\")",
                                  "finishProgressionEvent(\"dungeon\", false, 42, {\"gold\": 5}, {})",
                                  "customEvent(\"Boss\", {\"score\": 10})",
                                  "socialNetworkPost(\"fb\", \"win\")",
                                  "socialNetworkConnect(\"custom\")",
                                  "replaceUserId(\"old\", \"new\")",
                                  "adImpression(\"net\", 0.25, nil, nil)",
                              }));
    EXPECT_TRUE(log.texts().empty());
}

TEST_F(AnalyticsFront, StoreObjectsAreCopiedWithTheirOriginalAndTheirPriceTextsForTheQueue) {
    start();
    auto original = std::make_shared<ZQBStoreTransaction>(ZQBStoreTransaction{"orig-1", "monthly", nullptr});
    ZQBStoreTransaction restored{"t-2", "monthly", original};
    // A host chain that loops back on itself is read one level deep only.
    original->originalTransaction = std::make_shared<ZQBStoreTransaction>(restored);
    ZQBAnalytics::subscriptionHistory({restored, ZQBStoreTransaction{std::nullopt, "yearly", nullptr}});
    ZQBAnalytics::subscriptionPayment(restored, ZQBStoreProduct{"monthly", "4.99", "fr_FR", "0.99", {}});
    ZQBAnalytics::subscriptionPayment(restored,
                                      ZQBStoreProduct{"monthly", "free", "fr_FR", std::nullopt, {}});
    // Nothing is read or refused on the host's thread.
    EXPECT_TRUE(log.texts().empty());
    drain();
    original->originalTransaction.reset();  // let the host's loop go

    EXPECT_EQ(logic->calls(),
              (Texts{
                  "subscriptionHistory([{\"t-2\", \"monthly\", original {\"orig-1\", \"monthly\"}}, "
                  "{nil, \"yearly\"}])",
                  "subscriptionPayment({\"t-2\", \"monthly\", original {\"orig-1\", \"monthly\"}}, "
                  "{\"monthly\", 4.99, \"fr_FR\"})",
                  "subscriptionPayment({\"t-2\", \"monthly\", original {\"orig-1\", \"monthly\"}}, "
                  "{\"monthly\", free, \"fr_FR\"})",
              }));
    EXPECT_TRUE(log.texts().empty());
}

TEST_F(AnalyticsFront, CallsRacingDestroyAndRestartAreServedOrRefusedButNeverTouchAReleasedCore) {
    start();
    std::atomic<bool> stop{false};
    std::atomic<int> answers{0};
    std::atomic<int> asked{0};
    std::thread host([&] {
        for (int i = 0; i < 3000 && !stop.load(); ++i) {
            ZQBAnalytics::customEvent("Boss");
            ZQBAnalytics::getCurrentLevel([&](int64_t) { ++answers; });
            ++asked;
        }
    });
    // The host keeps the queue busy, so wait for a marker behind each step rather than for an empty queue.
    auto passMarker = [] {
        auto passed = std::make_shared<std::atomic<bool>>(false);
        QueueManager::incomeQueue().addOperation([passed] { *passed = true; });
        ASSERT_TRUE(test::waitUntil([&] { return passed->load(); }));
    };
    for (int round = 0; round < 20; ++round) {
        Core::destroy();
        passMarker();
        ZQBAnalytics::initialize("test-application-key");
        passMarker();
    }
    stop = true;
    host.join();
    drain();
    // The last core is running and serves calls.
    ZQBAnalytics::customEvent("final");
    drain();
    EXPECT_EQ(logic->callsOf("customEvent").back(), "customEvent(\"final\", {})");
    // Every query answered once: by the logic, or with its default when refused or its core was gone.
    EXPECT_EQ(answers.load(), asked.load());
}

// ---- Rule families: refused, truncated, dropped entries -------------------------------------------------

TEST_F(AnalyticsFront, IdentityRules) {
    start();
    ZQBAnalytics::setUserId(kControls);
    ZQBAnalytics::replace("old", "");
    EXPECT_EQ(
        logAfterQueue(),
        (Texts{error("SetUserId", "The user id argument value is empty!"), canceled("SetUserId"),
               error("replaceUserId", "The user id argument value is empty!"), canceled("replaceUserId")}));
    EXPECT_TRUE(logic->calls().empty());

    log.clear();
    const std::string longId(65, 'u');
    ZQBAnalytics::setUserId(longId);
    ZQBAnalytics::setUserId("");
    EXPECT_EQ(logAfterQueue(), (Texts{truncated("SetUserId", "The user id argument value", longId, 64)}));
    EXPECT_EQ(logic->calls(), (Texts{"setUserId(" + quoted(std::string(64, 'u')) + ")", "setUserId(\"\")"}));
}

TEST_F(AnalyticsFront, LevelAndBalanceRules) {
    start();
    ZQBAnalytics::setCurrentLevel(0);
    ZQBAnalytics::setCurrentLevel(2147483647);
    // A bad level cancels, but the bad balance entries are still reported first.
    ZQBAnalytics::levelUp(0, {{"", 5}});
    ZQBAnalytics::currentBalance({});
    ZQBAnalytics::currentBalance({{kControls, 5}});
    EXPECT_EQ(logAfterQueue(),
              (Texts{
                  error("SetCurrentLevel",
                        "The level argument value [0] is less than the min [1] permitted value!"),
                  canceled("SetCurrentLevel"),
                  error("SetCurrentLevel",
                        "The level argument value [2147483647] is greater than the max [2147483646] "
                        "permitted value!"),
                  canceled("SetCurrentLevel"),
                  error("LevelUp", "The level argument value [0] is less than the min [1] permitted value!"),
                  error("LevelUp", "The [] key of the balances dictionary is empty!"),
                  canceled("LevelUp"),
                  error("CurrentBalance", "The balance parameter value is empty!"),
                  canceled("CurrentBalance"),
                  error("CurrentBalance", "The [] key of the balances dictionary is empty!"),
                  error("CurrentBalance", "The balance parameter value is empty!"),
                  canceled("CurrentBalance"),
              }));
    EXPECT_TRUE(logic->calls().empty());

    log.clear();
    const std::string longName(25, 'g');
    ZQBAnalytics::setCurrentLevel(2147483646);
    ZQBAnalytics::levelUp(4, {{longName, -3}, {"", 1}, {"silver", std::numeric_limits<int64_t>::min()}});
    drain();
    EXPECT_EQ(logic->calls(),
              (Texts{"setCurrentLevel(2147483646)", "levelUp(4, {" + quoted(std::string(24, 'g')) +
                                                        ": -3, \"silver\": -9223372036854775808})"}));
    EXPECT_EQ(log.count("WARNING"), 1u);
    EXPECT_TRUE(log.contains(
        truncated("LevelUp", "The [" + longName + "] key of the balances dictionary", longName, 24)));
    EXPECT_TRUE(log.contains(error("LevelUp", "The [] key of the balances dictionary is empty!")));
}

TEST_F(AnalyticsFront, CustomEventRules) {
    start();
    ZQBAnalytics::customEvent(kControls);
    EXPECT_EQ(logAfterQueue(),
              (Texts{error("CustomEvent", "The custom event name is empty!"), canceled("CustomEvent")}));
    EXPECT_TRUE(logic->calls().empty());

    log.clear();
    const std::string longName(73, 'n');
    const std::string longKey(33, 'k');
    const std::string longText(256, 't');
    ZQBCustomEventParameters parameters;
    parameters.add(longKey, longText);
    parameters.add("nan", kNaN);
    parameters.add("empty", "");
    parameters.add(kControls, int64_t{1});
    parameters.add(
        "fl\x01"
        "ag",
        true);
    ZQBAnalytics::customEvent(longName, parameters);
    drain();
    EXPECT_EQ(logic->calls(),
              (Texts{"customEvent(" + quoted(std::string(72, 'n')) + ", {\"flag\": true, " +
                     quoted(std::string(32, 'k')) + ": " + quoted(std::string(255, 't')) + "})"}));
    const Texts texts = log.texts();
    const std::set<std::string> lines(texts.begin(), texts.end());
    EXPECT_EQ(lines,
              (std::set<std::string>{
                  truncated("CustomEvent", "The custom event name", longName, 72),
                  truncated("CustomEvent", "The key of the parameters dictionary", longKey, 32),
                  truncated("CustomEvent", "The value of the parameters dictionary by [" + longKey + "] key",
                            longText, 255),
                  error("CustomEvent",
                        "The value of the parameters dictionary by [nan] key \n\tParameter "
                        "cannot be NAN."),
                  error("CustomEvent", "The value of the parameters dictionary by [empty] key is empty!"),
                  error("CustomEvent", "The key of the parameters dictionary is empty!"),
              }));
}

TEST_F(AnalyticsFront, EconomyRules) {
    start();
    ZQBAnalytics::currencyAccrual("gold", 0, "shop", ZQBAccrualType::bought);
    ZQBAnalytics::virtualCurrencyPayment("sword", "weapon", 1, {{"gold", 0}});
    ZQBAnalytics::realCurrencyPayment("order", 0.99, "product", "US");
    ZQBAnalytics::realCurrencyPayment("order", kNaN, "product", "USD");
    drain();
    EXPECT_TRUE(logic->calls().empty());
    EXPECT_EQ(log.count(canceled("CurrencyAccrual")), 1u);
    EXPECT_EQ(log.count(canceled("VirtualCurrencyPayment")), 1u);
    EXPECT_EQ(log.count(canceled("RealCurrencyPayment")), 2u);
    EXPECT_TRUE(log.contains("VirtualCurrencyPayment has empty Resources dictionary!"));

    log.clear();
    const std::string longSource(33, 's');
    ZQBAnalytics::currencyAccrual("gold", 5, longSource, ZQBAccrualType::earned);
    ZQBAnalytics::virtualCurrencyPayment("sword", "weapon", 1, {{"gold", 10}, {"gems", 0}, {"", 3}});
    ZQBAnalytics::realCurrencyPayment("order", 0.99, "product", "U\x01SD");
    drain();
    EXPECT_EQ(logic->calls(),
              (Texts{"currencyAccrual(\"gold\", 5, " + quoted(std::string(32, 's')) + ", earned)",
                     "virtualCurrencyPayment(\"sword\", \"weapon\", 1, {\"gold\": 10})",
                     // The code is checked cleaned but handed on as given.
                     "realCurrencyPayment(\"order\", 0.99, \"product\", \"U\x01SD\")"}));
    EXPECT_TRUE(log.contains(truncated("CurrencyAccrual", "The source", longSource, 32)));
    EXPECT_EQ(log.count("ERROR"), 2u);  // the two dropped resource entries
}

TEST_F(AnalyticsFront, ProgressionSocialTutorialReferralAndAdRules) {
    start();
    ZQBStartProgressionEventParameters start;
    start.setDifficulty(-1);
    ZQBFinishProgressionEventParameters finish;
    finish.setDuration(-1);
    ZQBAnalytics::startProgressionEvent("dungeon", start);
    ZQBAnalytics::finishProgressionEvent("dungeon", finish);
    ZQBAnalytics::socialNetworkConnect(ZQBSocialNetwork(kControls));
    ZQBAnalytics::socialNetworkPost(ZQBSocialNetwork::twitter(), "");
    ZQBAnalytics::tutorial(-3);
    ZQBAnalytics::referrer({{ZQBReferralProperty::source(), kControls}});
    ZQBAnalytics::adImpression("net", -1.0);
    ZQBAnalytics::adImpression("net", kNaN);
    drain();
    EXPECT_TRUE(logic->calls().empty());
    for (const char* method : {"StartProgressionEvent", "FinishProgressionEvent", "SocialNetworkConnect",
                               "SocialNetworkPost", "Tutorial", "Referrer"}) {
        EXPECT_EQ(log.count(canceled(method)), 1u) << method;
    }
    EXPECT_EQ(log.count(canceled("AdImpression")), 2u);
    EXPECT_TRUE(log.contains(
        error("Tutorial", "The step argument value [-3] is less than the min [-2] permitted value!")));

    log.clear();
    ZQBAnalytics::tutorial(-2);
    ZQBAnalytics::tutorial(2147483647);
    ZQBAnalytics::referrer({{ZQBReferralProperty::source(), "ads"}, {ZQBReferralProperty::term(), ""}});
    ZQBAnalytics::adImpression("net", 1.5, "", std::string(101, 'u'));
    ZQBAnalytics::socialNetworkPost(ZQBSocialNetwork(std::string(25, 'n')), "win");
    drain();
    EXPECT_EQ(logic->calls(),
              (Texts{"tutorial(-2)", "tutorial(2147483647)", "referrer({\"source\": \"ads\"})",
                     "adImpression(\"net\", 1.5, nil, " + quoted(std::string(100, 'u')) + ")",
                     "socialNetworkPost(" + quoted(std::string(24, 'n')) + ", \"win\")"}));
    EXPECT_EQ(log.count("WARNING"), 2u);
    EXPECT_EQ(log.count("ERROR"), 1u);  // the dropped referral entry
}

// ---- Text that is not UTF-8 ---------------------------------------------------------------------------

TEST_F(AnalyticsFront, InvalidUtf8FromTheCallerIsRepairedBeforeItReachesRulesLogicOrLog) {
    start();
    ZQBCustomEventParameters parameters;
    parameters.add(kInvalidUtf8, kInvalidUtf8);
    ZQBAnalytics::customEvent(kInvalidUtf8, parameters);
    ZQBAnalytics::setUserId(kInvalidUtf8);
    ZQBAnalytics::levelUp(2, {{kInvalidUtf8, 1}});
    ZQBAnalytics::referrer(
        {{ZQBReferralProperty(kInvalidUtf8), kInvalidUtf8}, {ZQBReferralProperty::source(), kInvalidUtf8}});
    ZQBAnalytics::socialNetworkPost(ZQBSocialNetwork(kInvalidUtf8), kInvalidUtf8);
    ZQBAnalytics::adImpression(kInvalidUtf8, 1.0, kInvalidUtf8, std::nullopt);
    ZQBAnalytics::realCurrencyPayment(kInvalidUtf8, 1.0, kInvalidUtf8, "\xFF\xFF\xFF");
    const std::string longInvalid = std::string(80, '\xFF');
    ZQBAnalytics::customEvent(longInvalid);
    drain();
    const std::string r = quoted(kRepaired);
    EXPECT_EQ(logic->calls(),
              (Texts{
                  "customEvent(" + r + ", {" + r + ": " + r + "})",
                  "setUserId(" + r + ")",
                  "levelUp(2, {" + r + ": 1})",
                  "referrer({" + r + ": " + r + ", \"source\": " + r + "})",
                  "socialNetworkPost(" + r + ", " + r + ")",
                  "adImpression(" + r + ", 1.0, " + r + ", nil)",
                  "realCurrencyPayment(" + r + ", 1.0, " + r + ", \"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\")",
                  "customEvent(\"" +
                      [] {
                          std::string s;
                          for (int i = 0; i < 72; ++i) {
                              s += "\xEF\xBF\xBD";
                          }
                          return s;
                      }() +
                      "\", {})",
              }));
    // The truncation warning shows the repaired text.
    ASSERT_EQ(log.count("WARNING"), 1u);
    EXPECT_EQ(log.matching("WARNING").front().find('\xFF'), std::string::npos);
}

// ---- Exclusions from the project's configuration -------------------------------------------------------

TEST_F(AnalyticsFront, AReceivedConfigurationExcludesByCodeAndByTheRawCharacteristicArgument) {
    start();
    // The table that applying a received configuration installs (see the next test).
    Validator::setExcludedOptions(ExcludedOptions{{"ce", {AnyCodable("Bo\x01ss")}},
                                                  {"lu", {}},
                                                  {"ca", {AnyCodable("shop")}},
                                                  {"tr", {AnyCodable(int64_t{3})}},
                                                  {"sbs", {}}});
    ZQBAnalytics::customEvent("Bo\x01ss");  // listed as the host passes it: excluded
    ZQBAnalytics::customEvent("Boss");      // the cleaned name is not what is listed
    ZQBAnalytics::levelUp(2);
    ZQBAnalytics::currencyAccrual("gold", 5, "shop", ZQBAccrualType::earned);
    ZQBAnalytics::currencyAccrual("gems", 5, "shop", ZQBAccrualType::earned);
    ZQBAnalytics::currencyAccrual("gold", 5, "quest", ZQBAccrualType::earned);
    ZQBAnalytics::tutorial(3);
    ZQBAnalytics::tutorial(4);
    ZQBAnalytics::subscriptionPayment(ZQBStoreTransaction{"t", "p", nullptr},
                                      ZQBStoreProduct{"p", "1", "en_US", std::nullopt, {}});
    drain();
    EXPECT_EQ(logic->calls(), (Texts{"customEvent(\"Boss\", {})",
                                     "currencyAccrual(\"gold\", 5, \"quest\", earned)", "tutorial(4)"}));
    EXPECT_EQ(log.texts(),
              (Texts{
                  "INFO Event [ce] with [Bo\x01ss] argument is excluded by project configuration",
                  "INFO Event [lu] is excluded by project configuration",
                  "INFO Event [ca] with [shop] argument is excluded by project configuration",
                  "INFO Event [ca] with [shop] argument is excluded by project configuration",
                  "INFO Event [tr] with [3] argument is excluded by project configuration",
                  "INFO Event [sbs] is excluded by project configuration",
              }));
}

// The other codes, each through its public call: "vp" and "pe" look at the argument as the host passed it,
// "sc" and "sp" at the network name the checks left, and the rest at no argument at all, so that a listed
// value never excludes them and an empty list always does.
TEST_F(AnalyticsFront, EachCodeIsExcludedByItsRawOrCheckedArgumentOrByItself) {
    start();
    struct Case {
        std::string code;
        AnyCodableList listed;
        std::function<void()> call;
        std::optional<std::string> shownArgument;  // in the notice; nothing: the call is not excluded
    };
    const auto historyOfEngines = [] {
        Core::shared()->analyticsProxy()->subscriptionHistory(
            AnalyticsProtocol::SubscriptionHistory{{"monthly", {"t-1"}}});
    };
    const std::vector<Case> cases = {
        {"vp",
         {AnyCodable("sw\x01ord")},
         [] {
             ZQBAnalytics::virtualCurrencyPayment("sw\x01ord", "weapon", 1, {{"gold", 5}});
         },
         "sw\x01ord"},
        {"vp",
         {AnyCodable("sw\x01ord")},
         [] {
             ZQBAnalytics::virtualCurrencyPayment("sword", "weapon", 1, {{"gold", 5}});
         },
         std::nullopt},
        {"pe", {AnyCodable("ca\x01ve")}, [] { ZQBAnalytics::startProgressionEvent("ca\x01ve"); }, "ca\x01ve"},
        {"pe",
         {AnyCodable("ca\x01ve")},
         [] { ZQBAnalytics::finishProgressionEvent("ca\x01ve"); },
         "ca\x01ve"},
        {"pe", {AnyCodable("ca\x01ve")}, [] { ZQBAnalytics::startProgressionEvent("cave"); }, std::nullopt},
        {"sc",
         {AnyCodable("fb")},
         [] {
             ZQBAnalytics::socialNetworkConnect(
                 ZQBSocialNetwork("f\x01"
                                  "b"));
         },
         "fb"},
        {"sc",
         {AnyCodable("f\x01"
                     "b")},
         [] {
             ZQBAnalytics::socialNetworkConnect(
                 ZQBSocialNetwork("f\x01"
                                  "b"));
         },
         std::nullopt},
        {"sp",
         {AnyCodable("fb")},
         [] {
             ZQBAnalytics::socialNetworkPost(ZQBSocialNetwork("f\x01"
                                                              "b"),
                                             "win");
         },
         "fb"},
        {"rf",
         {},
         [] {
             ZQBAnalytics::referrer({{ZQBReferralProperty::source(), "ads"}});
         },
         ""},
        {"rf",
         {AnyCodable("ads")},
         [] {
             ZQBAnalytics::referrer({{ZQBReferralProperty::source(), "ads"}});
         },
         std::nullopt},
        {"adrv", {}, [] { ZQBAnalytics::adImpression("net", 0.5); }, ""},
        {"adrv", {AnyCodable("net")}, [] { ZQBAnalytics::adImpression("net", 0.5); }, std::nullopt},
        {"rp", {}, [] { ZQBAnalytics::realCurrencyPayment("order", 1.5, "gems", "USD"); }, ""},
        {"rp",
         {AnyCodable("order")},
         [] { ZQBAnalytics::realCurrencyPayment("order", 1.5, "gems", "USD"); },
         std::nullopt},
        {"cb",
         {},
         [] {
             ZQBAnalytics::currentBalance({{"gold", 5}});
         },
         ""},
        {"cb",
         {AnyCodable("gold")},
         [] {
             ZQBAnalytics::currentBalance({{"gold", 5}});
         },
         std::nullopt},
        {"sbsr",
         {},
         [] {
             ZQBAnalytics::subscriptionHistory({ZQBStoreTransaction{"t-1", "monthly", nullptr}});
         },
         ""},
        {"sbsr", {}, historyOfEngines, ""},
        {"sbsr", {AnyCodable("monthly")}, historyOfEngines, std::nullopt},
    };
    for (const auto& [code, listed, call, shownArgument] : cases) {
        SCOPED_TRACE(code + (shownArgument ? " excluded" : " passing"));
        Validator::setExcludedOptions(ExcludedOptions{{code, listed}});
        logic->clear();
        log.clear();
        call();
        drain();
        if (!shownArgument) {
            EXPECT_EQ(logic->calls().size(), 1u);
            EXPECT_FALSE(log.contains("excluded"));
        } else {
            EXPECT_TRUE(logic->calls().empty()) << logic->calls().front();
            EXPECT_EQ(log.texts(),
                      Texts{"INFO Event [" + code + "] " +
                            (shownArgument->empty() ? "" : "with [" + *shownArgument + "] argument ") +
                            "is excluded by project configuration"});
        }
    }
}

TEST_F(AnalyticsFront, ExclusionsComeFromTheReceivedConfigurationNeverFromTheStoredOneBeforeTheFirstReply) {
    const Config received = Config::decode(
        R"({"timeForRequest":120000,"countForRequest":10,"eventParamsCount":20,"sessionTimeout":600000,)"
        R"("serverTime":0,"aliveTimeout":300000,"userCounting":true,)"
        R"("exclude":{"version":1,"events":{"ce":["Boss"],"lu":[]}}})");
    auto applyReceived = [&] {
        onIncomeQueue([&] { (*services)->projectService()->applyConfig(received); });
    };

    start();
    ZQBAnalytics::customEvent("Boss");
    applyReceived();
    ZQBAnalytics::customEvent("Boss");
    ZQBAnalytics::customEvent("Other");
    ZQBAnalytics::levelUp(2);
    drain();
    EXPECT_EQ(logic->calls(), (Texts{"customEvent(\"Boss\", {})", "customEvent(\"Other\", {})"}));
    EXPECT_TRUE(log.contains("INFO Event [ce] with [Boss] argument is excluded by project configuration"));
    EXPECT_TRUE(log.contains("INFO Event [lu] is excluded by project configuration"));

    // A new process: the project row keeps the configuration, but its exclusions wait for the first reply.
    Core::destroy();
    drain();
    Validator::setExcludedOptions(std::nullopt);
    logic->clear();
    start();
    std::optional<std::string> stored;
    onIncomeQueue([&] { stored = (*services)->stateManager()->getActiveProject()->configurationJson; });
    ASSERT_TRUE(stored);
    EXPECT_NE(stored->find("Boss"), std::string::npos);
    ZQBAnalytics::customEvent("Boss");
    ZQBAnalytics::levelUp(2);
    drain();
    EXPECT_EQ(logic->calls(), (Texts{"customEvent(\"Boss\", {})", "levelUp(2, {})"}));
    EXPECT_FALSE(log.contains("excluded"));

    applyReceived();
    ZQBAnalytics::customEvent("Boss");
    drain();
    EXPECT_EQ(logic->calls().size(), 2u);
    EXPECT_TRUE(log.contains("INFO Event [ce] with [Boss] argument is excluded by project configuration"));
}

// ---- Completion handlers, listener and hooks -----------------------------------------------------------

TEST_F(AnalyticsFront, HandlersRunOnTheLibraryThreadAndAThrowingOrEmptyHandlerDoesNotBreakIt) {
    start();
    std::atomic<bool> onLibraryThread{false};
    ZQBAnalytics::getDeviceId(
        [&](const std::string&) { onLibraryThread = QueueManager::incomeQueue().isCurrent(); });
    ZQBAnalytics::getUserId([](const std::string&) { throw std::runtime_error("host failure"); });
    ZQBAnalytics::getSDKVersion(nullptr);
    ZQBAnalytics::customEvent("after");
    drain();
    EXPECT_TRUE(onLibraryThread.load());
    EXPECT_EQ(log.texts(),
              (Texts{"ERROR In the getUserId(completionHandler:) method an error has occurred: The "
                     "completion handler has thrown: host failure"}));
    EXPECT_EQ(logic->callsOf("customEvent"), Texts{"customEvent(\"after\", {})"});
}

TEST_F(AnalyticsFront, AListenerRegisteredAfterStartUpAsksTheLogicForTheKnownId) {
    start();
    ZQBAnalytics::setIdentifiersListener(std::make_shared<ZQBIdentifiersListener>());
    drain();
    EXPECT_EQ(logic->forcedUpdates.load(), 1);
}

TEST_F(AnalyticsFront, TestHooksRunOnTheCallersThreadBeforeInitialisation) {
    QueueManager::incomeQueue().pause();  // nothing below may need the queue

    ZQBAnalytics::testLogs();
    EXPECT_EQ(log.texts(), (Texts{"ERROR this is error message", "WARNING this is warning message",
                                  "INFO this is info message", "DEBUG this is debug message"}));

    std::string url = "unanswered";
    ZQBAnalytics::getTestProxyUrl([&](const std::string& value) { url = value; });
    EXPECT_EQ(url, "");
    ZQBAnalytics::setTestProxyUrl("http://127.0.0.1:9/");
    ZQBAnalytics::setTestCustomUrl("/v2");
    ZQBAnalytics::getTestProxyUrl([&](const std::string& value) { url = value; });
    EXPECT_EQ(url, "http://127.0.0.1:9/");
    ZQBAnalytics::getTestCustomUrl([&](const std::string& value) { url = value; });
    EXPECT_EQ(url, "/v2");
    EXPECT_EQ(BackendConfigUrl::baseApiUrl(), "http://127.0.0.1:9//v2");
    ZQBAnalytics::setTestProxyUrl("");
    ZQBAnalytics::setTestCustomUrl("");
    EXPECT_EQ(BackendConfigUrl::baseApiUrl(), BackendConfigUrl::defaultBaseUrl);

    EXPECT_EQ(ZQBAnalytics::sdkFolderPath(), zqb::test::databaseFolder()->string());
    EXPECT_EQ(ZQBAnalytics::sdkFolderPath().rfind(environment.directory().string(), 0), 0u);

    QueueManager::incomeQueue().resume();
}

// The path of a folder that cannot be made is no folder the library keeps anything in.
TEST_F(AnalyticsFront, TheDataFolderPathIsTheErrorTextWhenTheFolderCannotBeMade) {
    const std::filesystem::path folder = *zqb::test::databaseFolder();
    std::filesystem::remove_all(folder);
    EXPECT_EQ(ZQBAnalytics::sdkFolderPath(), folder.string());  // not made yet, but it can be

    std::ofstream(folder) << "a file in the folder's place";
    EXPECT_EQ(ZQBAnalytics::sdkFolderPath(), "fileMessagerError");
    EXPECT_EQ(ZQBEngineWrapper::unitySdkFolderPath(), "fileMessagerError");
    std::filesystem::remove(folder);

    // Its parent taken by a file.
    const std::filesystem::path parent = folder.parent_path();
    const std::filesystem::path keptAside = parent.string() + ".aside";
    std::filesystem::rename(parent, keptAside);
    std::ofstream(parent) << "a file in the parent's place";
    EXPECT_EQ(ZQBAnalytics::sdkFolderPath(), "fileMessagerError");
    std::filesystem::remove(parent);
    std::filesystem::rename(keptAside, parent);

    std::filesystem::create_directories(folder);
    EXPECT_EQ(ZQBAnalytics::sdkFolderPath(), folder.string());
}

TEST_F(AnalyticsFront, ClearKeychainDeletesTheIdentifierItemsOfThisApplicationOnly) {
    const std::string prefix = std::string(test::ScopedEnvironment::kBundleName) + "-";
    const std::string other = "OtherApp-" + std::string(IdentifierCollector::currentIdKey);
    const std::vector<std::string> keys = {IdentifierCollector::currentIdKey, IdentifierCollector::prevIdKey,
                                           IdentifierCollector::customUdidKey};
    KeychainStore store(host::Environment::shared().keychain(), "");
    for (const auto& key : keys) {
        ASSERT_TRUE(store.set("value", prefix + key));
    }
    ASSERT_TRUE(store.set("other", other));

    ZQBAnalytics::clearKeychain();
    for (const auto& key : keys) {
        EXPECT_EQ(store.get(prefix + key), std::nullopt) << key;
    }
    EXPECT_EQ(store.get(other), "other");
}

}  // namespace
}  // namespace zqb

#include "services/ReportService.hpp"

#include "backend/Backend.hpp"
#include "backend/BackendRepository.hpp"
#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "database/Statement.hpp"
#include "foundation/QueueManager.hpp"
#include "foundation/TextUtils.hpp"
#include "host/Environment.hpp"
#include "model/Alive.hpp"
#include "network/BackendConfigUrl.hpp"
#include "support/FakeStateManager.hpp"
#include "support/ForwardingDatabase.hpp"
#include "support/GatewayClient.hpp"
#include "support/LogCapture.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/QueueRunner.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"
#include "support/Wait.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <variant>
#include <vector>

namespace zqb {
namespace {

using test::LoopbackGateway;
using test::onIncome;

constexpr const char* kReportPath = "/v2/analytics/report";

class ReportServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        BackendConfigUrl::setTestProxyUrl(gateway.baseUrl());
        gateway.setReply(kReportPath, {200, "{}"});
        database = zqb::test::sharedDatabase();
        events = std::make_shared<EventRepository>(database);
        reports = std::make_shared<ReportsRepository>(database);
        state = std::make_shared<test::FakeStateManager>();
        service = std::make_shared<ReportService>(
            state, events, reports,
            std::make_shared<Backend>(test::gatewayClient(host::Environment::shared().httpSession())),
            uploads, QueueManager::incomeQueue(), QueueManager::networkSerialQueue(),
            QueueManager::networkFlashQueue());
        service->setOnReportSendAction([this] { ++accepted; });
    }

    void TearDown() override {
        test::settleAll();
        BackendConfigUrl::setTestProxyUrl("");
    }

    std::shared_ptr<User> addUser(int64_t idKey, std::optional<std::string> userId,
                                  std::optional<int64_t> sessionId, int64_t projectId = 1) {
        auto user = std::make_shared<User>(projectId, std::move(userId), false);
        user->idKey = idKey;
        user->sessionId = sessionId;
        state->otherUsers.push_back(user);
        return user;
    }

    // Stores `count` events of the user; their texts carry the user and a running number.
    void store(int64_t userKey, int count) {
        onIncome([&] {
            for (int index = 0; index < count; ++index) {
                const auto json = R"({"code":"ce","user":)" + std::to_string(userKey) + R"(,"n":)" +
                                  std::to_string(index) + "}";
                events->insert(EventObject::make("ce", -1, userKey, json));
            }
        });
    }

    void setCountForRequest(int64_t count) {
        state->project->configurationJson =
            R"({"timeForRequest":120000,"countForRequest":)" + std::to_string(count) +
            R"(,"eventParamsCount":20,"sessionTimeout":600000,"serverTime":0,"aliveTimeout":300000,)"
            R"("userCounting":true})";
    }

    void sendBuffered() {
        onIncome([&] { service->sendBufferedEvents(); });
        test::settleAll();
    }

    std::vector<std::vector<std::string>> rows(const std::string& sql) {
        Connection connection((env.directory() / "vorantel" / "vorantel.db").string());
        Statement statement(connection, sql);
        std::vector<std::vector<std::string>> result;
        while (statement.step()) {
            std::vector<std::string> row;
            const auto values = statement.cursor().row();
            for (const auto& value : values) {
                row.push_back(
                    !value ? "NULL"
                           : std::visit(
                                 [](const auto& v) {
                                     if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::string>) {
                                         return v;
                                     } else {
                                         return std::to_string(v);
                                     }
                                 },
                                 *value));
            }
            result.push_back(row);
        }
        return result;
    }
    std::size_t count(const std::string& table) { return rows("SELECT id FROM " + table).size(); }

    static nlohmann::json body(const LoopbackGateway::Request& request) {
        return nlohmann::json::parse(request.body);
    }
    static std::string userOf(const LoopbackGateway::Request& request) {
        return request.header("UserId").value_or("");
    }
    static std::string encoded(const std::string& text) { return text::base64Encode(text); }
    // Event counts of the packages of the one report a request carries.
    static std::vector<std::size_t> packageSizes(const LoopbackGateway::Request& request) {
        std::vector<std::size_t> sizes;
        const auto parsed = body(request);
        for (const auto& package : parsed["reports"][0]["packages"]) {
            sizes.push_back(package["events"].size());
        }
        return sizes;
    }

    test::ScopedEnvironment env;
    test::LogCapture logs;
    LoopbackGateway gateway;
    std::shared_ptr<SQLiteProvider> database;
    std::shared_ptr<EventRepository> events;
    std::shared_ptr<ReportsRepository> reports;
    std::shared_ptr<test::FakeStateManager> state;
    std::shared_ptr<UploadHandover> uploads = std::make_shared<UploadHandover>();
    std::shared_ptr<ReportService> service;
    std::atomic<int> accepted{0};
};

// Holds the first `held` report requests until released, so that a test can act while a run is under way.
class HeldReplies {
public:
    HeldReplies(LoopbackGateway& gateway, int held) : held_(held) {
        gateway.setHandler(kReportPath, [this](const LoopbackGateway::Request&) {
            std::unique_lock lock(mutex_);
            if (seen_++ < held_) {
                released_.wait(lock, [this] { return open_; });
            }
            return LoopbackGateway::Reply(200, "{}");
        });
    }
    ~HeldReplies() { release(); }
    void release() {
        std::lock_guard lock(mutex_);
        open_ = true;
        released_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    int held_;
    int seen_ = 0;
    bool open_ = false;
};

TEST_F(ReportServiceTest, PacksOneReportPerUserInSessionOrderAndSendsThemOneByOne) {
    setCountForRequest(10);
    state->user->sessionId = 300;
    addUser(2, "no-session", std::nullopt);
    addUser(3, "early", 100);
    addUser(4, "early-too", 100);
    addUser(5, "elsewhere", 50, /*projectId=*/2);
    store(1, 25);
    store(2, 3);
    store(3, 7);
    store(4, 1);
    store(5, 2);

    sendBuffered();

    const auto sent = gateway.requests(kReportPath);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(userOf(sent[0]), encoded("early"));
    EXPECT_EQ(userOf(sent[1]), encoded("early-too"));
    EXPECT_EQ(userOf(sent[2]), encoded("user-1"));
    EXPECT_EQ(userOf(sent[3]), encoded("no-session"));
    EXPECT_EQ(packageSizes(sent[0]), (std::vector<std::size_t>{7}));
    EXPECT_EQ(packageSizes(sent[1]), (std::vector<std::size_t>{1}));
    EXPECT_EQ(packageSizes(sent[2]), (std::vector<std::size_t>{10, 10, 5}));
    EXPECT_EQ(packageSizes(sent[3]), (std::vector<std::size_t>{3}));
    // Events keep their order across the packages of a report.
    const auto packages = body(sent[2])["reports"][0]["packages"];
    EXPECT_EQ(packages[0]["events"][0]["n"], 0);
    EXPECT_EQ(packages[1]["events"][0]["n"], 10);
    EXPECT_EQ(packages[2]["events"][4]["n"], 24);

    EXPECT_EQ(accepted.load(), 4);
    EXPECT_EQ(rows("SELECT userId FROM events"), (std::vector<std::vector<std::string>>{{"5"}, {"5"}}));
    EXPECT_EQ(count("reports"), 0u);
    EXPECT_EQ(logs.count("Send buffered events for user ["), 4u);
    EXPECT_TRUE(logs.contains("INFO Send buffered events for user [early]"));
    EXPECT_EQ(logs.count("has been sent successfully"), 4u);
    onIncome([&] {
        EXPECT_FALSE(service->isSending());
        EXPECT_TRUE(reports->list().empty());
    });
}

TEST_F(ReportServiceTest, BatchSizeOfOneOrLessGivesOnePackagePerEvent) {
    setCountForRequest(0);
    store(1, 3);
    sendBuffered();
    const auto sent = gateway.requests(kReportPath);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(packageSizes(sent[0]), (std::vector<std::size_t>{1, 1, 1}));
}

TEST_F(ReportServiceTest, ReportBodyAndHeadersAreExact) {
    state->deviceIdentifiers->previousDeviceIdentifier = "device-0";
    state->deviceIdentifiers->vorantelId = 77;
    state->deviceIdentifiers->crossPlatformVorantelId = 78;
    state->deviceIdentifiers->vorantelIdTimestamp = 1700000000000;
    onIncome([&] {
        events->insert(EventObject::make("ce", -1, 1, R"({"code":"ce","name":"a\u00e9","time":1})"));
        events->insert(EventObject::make("lu", -1, 1, R"({"code":"lu","level":2})"));
    });
    sendBuffered();

    const auto sent = gateway.requests(kReportPath);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].method, "POST");
    EXPECT_EQ(sent[0].query, "appId=test-app-key");
    EXPECT_EQ(
        sent[0].body,
        R"({"reports":[{"packages":[{"language":"en","appVersion":"1.2.3","appBuildVersion":"45",)"
        R"("sdkVersion":"2.1.2","sdkCodeVersion":10,"bundle":"com.example.zqbtestapp","engine":"Unreal",)"
        "\"events\":[{\"code\":\"ce\",\"name\":\"a\xC3\xA9\",\"time\":1},{\"code\":\"lu\",\"level\":2}]}]}]"
        "}");
    EXPECT_EQ(sent[0].header("DeviceId"), encoded("device-1"));
    EXPECT_EQ(sent[0].header("PreviousDeviceId"), encoded("device-0"));
    EXPECT_EQ(sent[0].header("UserId"), encoded("user-1"));
    EXPECT_EQ(sent[0].header("VorantelId"), "77");
    EXPECT_EQ(sent[0].header("CrossPlatformVorantelId"), "78");
    EXPECT_EQ(sent[0].header("VorantelIdTimestamp"), "1700000000000");
}

TEST_F(ReportServiceTest, EditorModeLeavesOutTheApplicationVersions) {
    state->editorMode = true;
    store(1, 1);
    sendBuffered();
    const auto sent = gateway.requests(kReportPath);
    ASSERT_EQ(sent.size(), 1u);
    const auto package = body(sent[0])["reports"][0]["packages"][0];
    EXPECT_TRUE(package["appVersion"].is_null());
    EXPECT_TRUE(package["appBuildVersion"].is_null());
    EXPECT_EQ(package["bundle"], "com.example.zqbtestapp");
}

TEST_F(ReportServiceTest, OnlyTheActiveUsersReportCarriesTheServerIds) {
    state->deviceIdentifiers->vorantelId = 77;
    state->deviceIdentifiers->crossPlatformVorantelId = 78;
    state->deviceIdentifiers->vorantelIdTimestamp = 79;
    state->user->sessionId = 1;
    addUser(2, std::nullopt, 2);
    store(1, 1);
    store(2, 1);
    sendBuffered();

    const auto sent = gateway.requests(kReportPath);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].header("VorantelId"), "77");
    EXPECT_EQ(sent[1].header("DeviceId"), encoded("device-1"));
    EXPECT_EQ(sent[1].headerCount("UserId"), 0u);
    EXPECT_EQ(sent[1].headerCount("VorantelId"), 0u);
    EXPECT_EQ(sent[1].headerCount("CrossPlatformVorantelId"), 0u);
    EXPECT_EQ(sent[1].headerCount("VorantelIdTimestamp"), 0u);
    EXPECT_TRUE(logs.contains("INFO Send buffered events for user []"));
}

TEST_F(ReportServiceTest, RunStopsAtTheFirstRefusalAndTheRestIsSentLater) {
    state->user->sessionId = 1;
    addUser(2, "second", 2);
    addUser(3, "third", 3);
    store(1, 2);
    store(2, 2);
    store(3, 2);
    gateway.pushReply(kReportPath, {200, "{}"});
    gateway.pushReply(kReportPath, {500, ""});

    sendBuffered();

    auto sent = gateway.requests(kReportPath);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(userOf(sent[1]), encoded("second"));
    EXPECT_EQ(accepted.load(), 1);
    EXPECT_EQ(count("events"), 0u);
    EXPECT_EQ(rows("SELECT userId FROM reports"), (std::vector<std::vector<std::string>>{{"2"}, {"3"}}));
    const auto refused = body(sent[1]);
    EXPECT_EQ(logs.count("ERROR Report ["), 1u);
    EXPECT_TRUE(
        logs.contains("] submission failed: [Backend Module] Failed to send Report, status code: 500"));
    EXPECT_TRUE(logs.contains("DEBUG The network queue is stopped"));
    onIncome([&] {
        EXPECT_FALSE(service->isSending());
        EXPECT_FALSE(service->resendWhenFinish());
    });

    // The next trigger sends the refused report again, unchanged, and the one behind it.
    sendBuffered();
    sent = gateway.requests(kReportPath);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(body(sent[2]), refused);
    EXPECT_EQ(userOf(sent[3]), encoded("third"));
    EXPECT_EQ(accepted.load(), 3);
    EXPECT_EQ(count("reports"), 0u);
}

TEST_F(ReportServiceTest, TransportFailureKeepsTheReport) {
    BackendConfigUrl::setTestProxyUrl("http://127.0.0.1:9");
    store(1, 2);
    sendBuffered();
    EXPECT_EQ(count("events"), 0u);
    EXPECT_EQ(count("reports"), 1u);
    EXPECT_TRUE(logs.contains("status code: 400"));
    EXPECT_EQ(accepted.load(), 0);
}

TEST_F(ReportServiceTest, AReportAcceptedWithAnAnswerCutOffAfterItsStatusIsNotSentAgain) {
    gateway.setReply(kReportPath, LoopbackGateway::Reply(200, std::string(4096, 'x')).abortingAfter(10));
    store(1, 2);
    sendBuffered();
    EXPECT_EQ(count("reports"), 0u);
    EXPECT_EQ(accepted.load(), 1);
    sendBuffered();
    EXPECT_EQ(gateway.requests(kReportPath).size(), 1u);
}

TEST_F(ReportServiceTest, ReportsStoredDuringARunGoInTheResendRun) {
    HeldReplies held(gateway, 1);
    store(1, 2);
    onIncome([&] { service->sendBufferedEvents(); });
    ASSERT_TRUE(gateway.waitForRequests(1));

    store(1, 3);
    onIncome([&] {
        service->sendBufferedEvents();
        EXPECT_TRUE(service->isSending());
        EXPECT_TRUE(service->resendWhenFinish());
        EXPECT_EQ(reports->list().size(), 2u);
    });
    held.release();
    test::settleAll();

    const auto sent = gateway.requests(kReportPath);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(packageSizes(sent[0]), (std::vector<std::size_t>{2}));
    EXPECT_EQ(packageSizes(sent[1]), (std::vector<std::size_t>{3}));
    EXPECT_EQ(accepted.load(), 2);
    EXPECT_EQ(count("reports"), 0u);
    onIncome([&] {
        EXPECT_FALSE(service->isSending());
        EXPECT_FALSE(service->resendWhenFinish());
    });
}

TEST_F(ReportServiceTest, NothingStoredQueuesNothing) {
    sendBuffered();
    EXPECT_EQ(gateway.requestCount(), 0u);
    onIncome([&] { EXPECT_FALSE(service->isSending()); });
}

TEST_F(ReportServiceTest, EventsStayWhenTheReportRowCannotBeStored) {
    store(1, 4);
    Connection((env.directory() / "vorantel" / "vorantel.db").string())
        .execute("CREATE TRIGGER refuse BEFORE INSERT ON reports BEGIN SELECT RAISE(ABORT, 'refused'); END");

    sendBuffered();
    EXPECT_EQ(gateway.requestCount(), 0u);
    EXPECT_EQ(count("events"), 4u);
    EXPECT_EQ(count("reports"), 0u);
    EXPECT_TRUE(
        logs.contains("ERROR The report for user [user-1] could not be stored; its 4 events are kept"));
    onIncome([&] { EXPECT_EQ(events->list().size(), 4u); });

    Connection((env.directory() / "vorantel" / "vorantel.db").string()).execute("DROP TRIGGER refuse");
    sendBuffered();
    const auto sent = gateway.requests(kReportPath);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(packageSizes(sent[0]), (std::vector<std::size_t>{4}));
    EXPECT_EQ(count("events"), 0u);
    EXPECT_EQ(count("reports"), 0u);
}

// A deletion the file refuses is not taken for done: packed events that stay withdraw their report, and an
// accepted report that stays is not sent again and is deleted once the file allows it.
TEST_F(ReportServiceTest, ADeletionTheFileRefusesNeitherRepeatsNorLosesAnEvent) {
    const auto file = (env.directory() / "vorantel" / "vorantel.db").string();
    test::LogCapture quiet(ZQBLogLevel::error);
    store(1, 2);
    Connection(file).execute(
        "CREATE TRIGGER refuse BEFORE DELETE ON events BEGIN SELECT RAISE(ABORT, 'refused'); END");
    sendBuffered();
    EXPECT_EQ(gateway.requestCount(), 0u);
    EXPECT_EQ(count("events"), 2u);
    EXPECT_EQ(count("reports"), 0u);

    Connection(file).execute("DROP TRIGGER refuse");
    Connection(file).execute(
        "CREATE TRIGGER refuse BEFORE DELETE ON reports BEGIN SELECT RAISE(ABORT, 'refused'); END");
    sendBuffered();
    sendBuffered();
    ASSERT_EQ(gateway.requests(kReportPath).size(), 1u);
    EXPECT_EQ(packageSizes(gateway.requests(kReportPath)[0]), (std::vector<std::size_t>{2}));
    EXPECT_EQ(count("events"), 0u);
    EXPECT_EQ(count("reports"), 1u);

    Connection(file).execute("DROP TRIGGER refuse");
    sendBuffered();
    EXPECT_EQ(gateway.requests(kReportPath).size(), 1u);
    EXPECT_EQ(count("reports"), 0u);
    onIncome([&] { EXPECT_TRUE(reports->list().empty()); });
}

// At destroy: `finishSending` returns at once, while the gateway still holds the report in flight (a host's
// stopping call queued behind the destroy must not wait for it); the run sends nothing after that report, and
// deletes it once the gateway accepts it, through the file left open for it.
TEST_F(ReportServiceTest, FinishingDoesNotWaitForTheRunUnderWayWhichDeletesWhatIsAcceptedLater) {
    HeldReplies held(gateway, 1);
    state->user->sessionId = 1;
    addUser(2, "second", 2);
    store(1, 1);
    store(2, 1);
    onIncome([&] { service->sendBufferedEvents(); });
    ASSERT_TRUE(gateway.waitForRequests(1));
    onIncome([&] { service->finishSending(); });
    EXPECT_EQ(count("reports"), 2u);

    held.release();
    test::settleAll();
    EXPECT_EQ(gateway.requests(kReportPath).size(), 1u);
    EXPECT_EQ(accepted.load(), 1);
    EXPECT_EQ(count("reports"), 1u);
    store(1, 1);
    sendBuffered();
    EXPECT_EQ(gateway.requests(kReportPath).size(), 1u);
}

// Tracking switched off deletes every stored report while a run is under way: the run sends none of those it
// still holds (they are gone, and its headers may name a device id withdrawn meanwhile), and the run asked
// for meanwhile, with the tracking status stored after the deletion, goes once it has stopped.
TEST_F(ReportServiceTest, ARunUnderWaySendsNoReportDeletedSinceAndTheRunAskedForMeanwhileGoes) {
    HeldReplies held(gateway, 1);
    state->user->sessionId = 1;
    addUser(2, "second", 2);
    store(1, 1);
    store(2, 1);
    onIncome([&] { service->sendBufferedEvents(); });
    ASSERT_TRUE(gateway.waitForRequests(1));
    onIncome([&] { service->removeAllReports(); });
    store(1, 1);
    onIncome([&] { service->sendBufferedEvents(); });
    held.release();
    test::settleAll();
    EXPECT_EQ(gateway.requests(kReportPath).size(), 2u);
    EXPECT_EQ(count("reports"), 0u);
}

// The file a finished service's run still uses, forwarding all but its close: the close belongs to the
// database every test of this file shares.
class KeptOpenDatabase final : public test::ForwardingDatabase {
public:
    using ForwardingDatabase::ForwardingDatabase;
    void closeForGood() noexcept override { closed = true; }
    std::atomic<bool> closed{false};
};

// A library started again while the destroyed one's upload is still under way takes the file over before
// the gateway accepts the report: the old run can no longer delete it, and the new library's run deletes it
// instead of sending it a second time.
TEST_F(ReportServiceTest, AReportAcceptedAfterTheFileWasTakenOverIsDeletedByTheNextServiceNotSentAgain) {
    HeldReplies held(gateway, 1);
    state->user->sessionId = 1;
    store(1, 1);
    onIncome([&] { service->sendBufferedEvents(); });
    ASSERT_TRUE(gateway.waitForRequests(1));
    const auto file = std::make_shared<KeptOpenDatabase>(database);
    onIncome([&] {
        service->finishSending();
        uploads->closeWhenRunsEnd(file);
        EXPECT_FALSE(file->closed.load());
        uploads->takeOver();
        EXPECT_TRUE(file->closed.load());
    });
    held.release();
    test::settleAll();
    EXPECT_EQ(count("reports"), 1u);

    const auto next = std::make_shared<ReportService>(
        state, events, reports,
        std::make_shared<Backend>(test::gatewayClient(host::Environment::shared().httpSession())), uploads,
        QueueManager::incomeQueue(), QueueManager::networkSerialQueue(), QueueManager::networkFlashQueue());
    onIncome([&] { next->sendBufferedEvents(); });
    test::settleAll();
    EXPECT_EQ(gateway.requests(kReportPath).size(), 1u);
    EXPECT_EQ(count("reports"), 0u);
    onIncome([&] { EXPECT_TRUE(reports->list().empty()); });
}

TEST_F(ReportServiceTest, AStoredReportWhosePackagesNoLongerReadIsKeptAndNamedNotSentEmpty) {
    Connection((env.directory() / "vorantel" / "vorantel.db").string())
        .execute(
            R"(INSERT INTO reports (userId, packagesJson, uuid) VALUES (1, '[{"events":5}]', 'BROKEN'))");
    store(1, 2);

    sendBuffered();
    const auto sent = gateway.requests(kReportPath);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(packageSizes(sent[0]), (std::vector<std::size_t>{2}));
    EXPECT_EQ(rows("SELECT uuid FROM reports"), (std::vector<std::vector<std::string>>{{"BROKEN"}}));
    EXPECT_EQ(logs.matching("ERROR"),
              std::vector<std::string>{
                  "ERROR The stored report [BROKEN] cannot be read and is not sent; its row is kept"});

    // Named once; later runs pass it by without a word.
    store(1, 1);
    sendBuffered();
    EXPECT_EQ(gateway.requests(kReportPath).size(), 2u);
    EXPECT_EQ(logs.count("ERROR"), 1u);
    EXPECT_EQ(count("reports"), 1u);
}

TEST_F(ReportServiceTest, WithoutDeviceFactsEventsWaitForALaterCall) {
    state->deviceData.reset();
    addUser(2, "second", std::nullopt);
    store(1, 2);
    store(2, 1);
    sendBuffered();
    EXPECT_EQ(logs.count("ERROR Cannot obtain device information!"), 2u);
    EXPECT_EQ(count("events"), 3u);
    EXPECT_EQ(count("reports"), 0u);
    EXPECT_EQ(gateway.requestCount(), 0u);

    onIncome([&] {
        test::FakeStateManager fresh;
        state->deviceData = fresh.deviceData;
    });
    sendBuffered();
    EXPECT_EQ(gateway.requests(kReportPath).size(), 2u);
    EXPECT_EQ(count("events"), 0u);
}

TEST_F(ReportServiceTest, FlashEventIsSentAtOnceAndNeverStored) {
    state->deviceIdentifiers->vorantelId = 5;
    HeldReplies held(gateway, 1);
    store(1, 1);
    onIncome([&] { service->sendBufferedEvents(); });
    ASSERT_TRUE(gateway.waitForRequests(1));

    // A flash send does not wait behind a stored run that is under way.
    onIncome([&] { service->sendFlashEvent(Alive(1700000000000)); });
    ASSERT_TRUE(gateway.waitForRequests(2));
    const auto flash = gateway.requests(kReportPath)[1];
    const auto packages = body(flash)["reports"][0]["packages"];
    ASSERT_EQ(packages.size(), 1u);
    EXPECT_EQ(packages[0]["events"][0]["code"], "al");
    EXPECT_EQ(flash.header("VorantelId"), "5");
    held.release();
    test::settleAll();

    EXPECT_EQ(accepted.load(), 1);
    EXPECT_EQ(count("events"), 0u);
    EXPECT_EQ(count("reports"), 0u);
    EXPECT_EQ(logs.count("has been sent successfully"), 2u);
}

TEST_F(ReportServiceTest, FailedFlashSendIsLoggedAndDropped) {
    gateway.setReply(kReportPath, {503, ""});
    onIncome([&] { service->sendFlashEvent(Alive(1700000000000)); });
    test::settleAll();
    EXPECT_EQ(gateway.requestCount(), 1u);
    EXPECT_TRUE(logs.contains("submission failed: [Backend Module] Failed to send Report, status code: 503"));
    EXPECT_EQ(count("events"), 0u);
    EXPECT_EQ(count("reports"), 0u);
    onIncome([&] { EXPECT_FALSE(service->isSending()); });
}

TEST_F(ReportServiceTest, FlashEventWithoutDeviceFactsGoesOutWithoutPackages) {
    state->deviceData.reset();
    onIncome([&] { service->sendFlashEvent(Alive(1700000000000)); });
    test::settleAll();
    const auto sent = gateway.requests(kReportPath);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].body, R"({"reports":[{"packages":[]}]})");
}

TEST_F(ReportServiceTest, RemovesTheReportsOfGivenUsersOrAll) {
    gateway.setReply(kReportPath, {500, ""});
    state->user->sessionId = 1;
    const auto second = addUser(2, "second", 2);
    addUser(3, "third", 3);
    store(1, 1);
    store(2, 1);
    store(3, 1);
    sendBuffered();
    ASSERT_EQ(count("reports"), 3u);

    onIncome([&] { service->removeInactiveUserData({}); });
    EXPECT_EQ(count("reports"), 3u);
    onIncome([&] { service->removeInactiveUserData({second}); });
    EXPECT_EQ(rows("SELECT userId FROM reports"), (std::vector<std::vector<std::string>>{{"1"}, {"3"}}));
    onIncome([&] { service->removeAllReports(); });
    EXPECT_EQ(count("reports"), 0u);
    onIncome([&] { EXPECT_TRUE(reports->list().empty()); });
}

TEST_F(ReportServiceTest, ARunQueuedBeforeTheServiceIsReleasedSendsNothing) {
    store(1, 1);
    QueueManager::networkSerialQueue().pause();
    onIncome([&] { service->sendBufferedEvents(); });
    onIncome([&] { service.reset(); });
    QueueManager::networkSerialQueue().resume();
    test::settleAll();
    EXPECT_EQ(gateway.requestCount(), 0u);
    EXPECT_EQ(count("reports"), 1u);
}

}  // namespace
}  // namespace zqb

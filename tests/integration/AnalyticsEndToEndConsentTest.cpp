// The advertising identifier across launches as a studio with a consent flow sees it: allowed, then
// refused, by the user's answer to the tracking prompt or by the host switching tracking off; once refused,
// no request carries it and no file keeps it.

#include "integration/EndToEndFixture.hpp"

#include <ZQBAnalytics/ZQBHost.hpp>

#include "host/Advertising.hpp"
#include "host/FileKeychain.hpp"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace zqb {
namespace {

using Status = ZQBTrackingAuthorizationStatus;

constexpr const char* kAdvertisingId = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F";

class AnalyticsEndToEndConsent : public test::EndToEndTest {
protected:
    // The keychain is the Linux one, its file beside the data folder, so that the files looked through hold
    // it too.
    AnalyticsEndToEndConsent() {
        replyWithConfiguration();
        host::Environment::shared().setKeychain(
            std::make_shared<host::FileKeychain>(environment.directory() / "keychain" / "keychain.json"));
    }

    // One launch: the user's answer, then the library's start-up and its first requests.
    void launch(Status answer) {
        if (answer == Status::authorized) {
            ZQBHost::setAdvertisingIdentifier(kAdvertisingId, true);
        } else {
            // What the platform gives once the user refused.
            ZQBHost::setAdvertisingIdentifier(host::kZeroAdvertisingIdentifier, false);
        }
        ZQBHost::setTrackingAuthorizationStatus(answer);
        firstRequest_ = gateway.requestCount();
        ZQBAnalytics::initialize(kApplicationKey);
        ASSERT_TRUE(test::waitUntil([&] { return !requestsOfThisLaunch().empty(); }));
        test::settleAll();
    }

    // The process ends: what the library keeps is in its files.
    void end() {
        Core::destroy();
        test::settleAll();
    }

    std::vector<test::LoopbackGateway::Request> requestsOfThisLaunch(const std::string& path = "") {
        const auto all = gateway.requests();
        std::vector<test::LoopbackGateway::Request> found;
        for (std::size_t index = firstRequest_; index < all.size(); ++index) {
            if (path.empty() || all[index].path == path) {
                found.push_back(all[index]);
            }
        }
        return found;
    }

    // Every request from `from` on: none names the advertising identifier, in a header (as the text ids
    // travel, in base64, or plain) or in its body.
    void expectNoRequestCarriesIt(std::size_t from) {
        const auto all = gateway.requests();
        ASSERT_GT(all.size(), from);
        for (std::size_t index = from; index < all.size(); ++index) {
            const auto& request = all[index];
            for (const auto& [name, value] : request.headers) {
                EXPECT_EQ(value.find(encodedId(kAdvertisingId)), std::string::npos)
                    << request.path << " " << name;
                EXPECT_EQ(value.find(kAdvertisingId), std::string::npos) << request.path << " " << name;
            }
            EXPECT_EQ(request.body.find(kAdvertisingId), std::string::npos) << request.path << request.body;
        }
    }

    static std::string bytesOf(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Neither the database's files, the other files of the data folder, nor the keychain's file hold it, in
    // any byte: not in a row, and not in the space a removed row left.
    void expectNoFileHoldsIt() {
        std::size_t files = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(environment.directory())) {
            if (entry.is_regular_file()) {
                ++files;
                EXPECT_EQ(bytesOf(entry.path()).find(kAdvertisingId), std::string::npos) << entry.path();
            }
        }
        EXPECT_GE(files, 2u);
    }

    std::string deviceId() {
        const auto answered = std::make_shared<std::promise<std::string>>();
        ZQBAnalytics::getDeviceId([answered](const std::string& id) { answered->set_value(id); });
        auto id = answered->get_future();
        if (id.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << "getDeviceId did not answer";
            return {};
        }
        return id.get();
    }

    const std::string vendorId = *environment.device().identifierForVendor();
    std::size_t firstRequest_ = 0;
};

// Authorised, then denied twice, then authorised again, with the default user, whose id is the device id.
// The first launch's reports are refused, so that its device event, with the identifier, waits in the file
// for the refusal.
TEST_F(AnalyticsEndToEndConsent, ARefusalKeepsTheAdvertisingIdentifierOffEveryRequestAndOutOfEveryFile) {
    gateway.setReply(kReportPath, {500, "{}"});
    launch(Status::authorized);
    EXPECT_EQ(deviceId(), kAdvertisingId);
    EXPECT_EQ(requestsOfThisLaunch(kConfigPath).front().header("DeviceId"), encodedId(kAdvertisingId));
    test::settleAll();
    EXPECT_GE(storedCopies(kAdvertisingId), 1);
    end();
    EXPECT_NE(bytesOf(environment.directory() / "keychain" / "keychain.json").find(kAdvertisingId),
              std::string::npos);

    gateway.setReply(kReportPath, {200, "{}"});
    for (int refusal = 0; refusal < 2; ++refusal) {
        SCOPED_TRACE("denied launch " + std::to_string(refusal + 1));
        const std::size_t from = gateway.requestCount();
        launch(Status::denied);
        ZQBAnalytics::sendBufferedEvents();
        test::settleAll();
        EXPECT_EQ(deviceId(), vendorId);
        const auto reports = requestsOfThisLaunch(kReportPath);
        ASSERT_FALSE(reports.empty());
        for (const auto& request : requestsOfThisLaunch()) {
            EXPECT_EQ(request.header("DeviceId"), encodedId(vendorId)) << request.path;
            EXPECT_EQ(request.header("PreviousDeviceId"), std::nullopt) << request.path;
            EXPECT_EQ(request.header("UserId"), encodedId(vendorId)) << request.path;
            EXPECT_EQ(request.header("PreviousUserId"), std::nullopt) << request.path;
        }
        expectNoRequestCarriesIt(from);
        end();
        expectNoFileHoldsIt();
    }
    // The device event the first launch recorded went out with the refusal's rule, and so did every one
    // since.
    const auto deviceEvents = sentEvents("di");
    ASSERT_GE(deviceEvents.size(), 3u);
    for (std::size_t index = 1; index < deviceEvents.size(); ++index) {
        EXPECT_FALSE(deviceEvents[index].contains("idfa")) << deviceEvents[index];
        EXPECT_EQ(deviceEvents[index]["isLimitAdTrackingEnabled"], true);
        EXPECT_EQ(deviceEvents[index]["idfv"], vendorId);
    }

    // Allowed again: the advertising identifier is the device id again, reported as any other change.
    launch(Status::authorized);
    EXPECT_EQ(deviceId(), kAdvertisingId);
    for (const auto& request : requestsOfThisLaunch()) {
        EXPECT_EQ(request.header("DeviceId"), encodedId(kAdvertisingId)) << request.path;
        EXPECT_EQ(request.header("PreviousDeviceId"), encodedId(vendorId)) << request.path;
        EXPECT_EQ(request.header("UserId"), encodedId(kAdvertisingId)) << request.path;
        EXPECT_EQ(request.header("PreviousUserId"), encodedId(vendorId)) << request.path;
    }
    ASSERT_TRUE(waitForEvent("di", deviceEvents.size() + 1));
    EXPECT_EQ(sentEvents("di").back()["idfa"], kAdvertisingId);
}

// The host switches tracking off while the device id is the advertising identifier: the tracking status it
// sends at once, and the one a start with tracking off sends, name the device by its vendor identifier, and
// the user whose previous id was the advertising identifier loses it. Switched on again, the identifier is
// the device id again from the next start.
TEST_F(AnalyticsEndToEndConsent,
       SwitchingTrackingOffWithdrawsTheAdvertisingIdentifierAtOnceAndAtLaterStarts) {
    launch(Status::authorized);
    ZQBAnalytics::setUserId("player-1");
    ZQBAnalytics::customEvent("named");
    ZQBAnalytics::sendBufferedEvents();
    test::settleAll();
    const auto named = requestsOfThisLaunch(kReportPath);
    ASSERT_FALSE(named.empty());
    EXPECT_EQ(named.back().header("PreviousUserId"), encodedId(kAdvertisingId));

    const std::size_t switched = gateway.requestCount();
    ZQBAnalytics::setTrackingAvailability(false);
    ASSERT_TRUE(test::waitUntil([&] { return gateway.requestCount() > switched; }));
    test::settleAll();
    const auto status = gateway.requests().at(switched);
    EXPECT_EQ(codesIn(status).front(), "ts");
    EXPECT_EQ(status.header("DeviceId"), encodedId(vendorId));
    EXPECT_EQ(status.header("PreviousDeviceId"), std::nullopt);
    EXPECT_EQ(status.header("UserId"), encodedId("player-1"));
    EXPECT_EQ(status.header("PreviousUserId"), std::nullopt);
    EXPECT_EQ(deviceId(), vendorId);
    expectNoRequestCarriesIt(switched);
    end();
    expectNoFileHoldsIt();

    // Still allowed by the user, off in the library: the start sends its tracking status at once.
    launch(Status::authorized);
    ASSERT_TRUE(test::waitUntil([&] { return !requestsOfThisLaunch(kReportPath).empty(); }));
    EXPECT_EQ(codesIn(requestsOfThisLaunch(kReportPath).front()), std::vector<std::string>{"ts"});
    expectNoRequestCarriesIt(switched);
    EXPECT_EQ(deviceId(), vendorId);
    end();
    expectNoFileHoldsIt();

    launch(Status::authorized);
    ZQBAnalytics::setTrackingAvailability(true);
    test::settleAll();
    EXPECT_EQ(deviceId(), vendorId);
    expectNoRequestCarriesIt(switched);
    end();

    launch(Status::authorized);
    EXPECT_EQ(deviceId(), kAdvertisingId);
    for (const auto& request : requestsOfThisLaunch()) {
        EXPECT_EQ(request.header("DeviceId"), encodedId(kAdvertisingId)) << request.path;
        EXPECT_EQ(request.header("PreviousDeviceId"), encodedId(vendorId)) << request.path;
        EXPECT_EQ(request.header("UserId"), encodedId("player-1")) << request.path;
    }
}

}  // namespace
}  // namespace zqb

#include "PlatformFixture.hpp"

#include "host/Environment.hpp"
#include "platform/DeviceInfoCollector.hpp"
#include "platform/DeviceInfoGateway.hpp"
#include "platform/DeviceInfoRepository.hpp"
#include "platform/PlatformiOS.hpp"
#include "support/Wait.hpp"

#include <atomic>
#include <cmath>
#include <thread>

namespace zqb::test {
namespace {

TEST(DevicePixelDensity, ModelTable) {
    const auto ppi = &DeviceInfoRepository::pixelsPerInch;
    EXPECT_EQ(ppi("iPhone12,1"), 326);
    EXPECT_EQ(ppi("iPhone13,1"), 476);
    EXPECT_EQ(ppi("iPhone13,2"), 460);
    EXPECT_EQ(ppi("iPhone10,3"), 458);
    EXPECT_EQ(ppi("iPhone7,1"), 401);
    EXPECT_EQ(ppi("iPhone2,1"), 163);
    EXPECT_EQ(ppi("iPad8,3"), 264);
    EXPECT_EQ(ppi("iPad2,1"), 132);
    EXPECT_EQ(ppi("iPad2,5"), 163);
    EXPECT_EQ(ppi("iPad11,6"), 264);
    EXPECT_EQ(ppi("iPad11,5"), std::nullopt);
    EXPECT_EQ(ppi("iPod9,1"), 326);
    EXPECT_EQ(ppi("iPod3,1"), 163);
    EXPECT_EQ(ppi("iPhone11,1"), std::nullopt);
    EXPECT_EQ(ppi("iPhone14,2"), std::nullopt);
    EXPECT_EQ(ppi("iPhone7,3"), std::nullopt);
}

TEST(DevicePixelDensity, OddModelTexts) {
    const auto ppi = &DeviceInfoRepository::pixelsPerInch;
    EXPECT_EQ(ppi("iPhone3"), 326);          // no comma: minor 0
    EXPECT_EQ(ppi("iPhone"), std::nullopt);  // no digits: major 0
    EXPECT_EQ(ppi("x86_64"), std::nullopt);
    EXPECT_EQ(ppi(""), std::nullopt);
    EXPECT_EQ(ppi("iphone12,1"), std::nullopt);                    // the family is case-sensitive
    EXPECT_EQ(ppi("iPhone,,12,,1"), 326);                          // empty pieces are dropped
    EXPECT_EQ(ppi("iPhone99999999999999999999,1"), std::nullopt);  // a major that does not read counts as 0
}

TEST(DeviceResolution, LargerSideFirstInAnyOrientation) {
    EXPECT_EQ(DeviceInfoCollector::resolutionText(375, 812, 3), "2436x1125");
    EXPECT_EQ(DeviceInfoCollector::resolutionText(812, 375, 3), "2436x1125");
    EXPECT_EQ(DeviceInfoCollector::resolutionText(320.7, 480.9, 1), "480x320");  // truncated
    EXPECT_EQ(DeviceInfoCollector::resolutionText(INFINITY, 10, 1), std::nullopt);
    EXPECT_EQ(DeviceInfoCollector::resolutionText(1e300, 10, 1e10), std::nullopt);
}

class DeviceInfoTest : public PlatformFixture {
protected:
    DeviceInfoRepository repository{std::make_shared<DeviceInfoCollector>(false, host::Environment::shared()),
                                    std::make_shared<RootedCheck>(false, host::Environment::shared())};

    DeviceData request(DeviceInfoGateway& gateway) {
        std::optional<DeviceData> answer;
        gateway.getDeviceData([&](DeviceData data) { answer = std::move(data); });
        EXPECT_TRUE(answer.has_value()) << "the answer must come before the request returns";
        return answer.value_or(DeviceData{});
    }
};

TEST_F(DeviceInfoTest, DiagonalFromNativePixelsAndDensity) {
    device->change([](FakeDevice::Facts& facts) {
        facts.machine = "iPhone10,3";
        facts.screen = host::ScreenInfo{375, 812, 3, 1125, 2436};
    });
    ASSERT_EQ(repository.displayPpi(), 458);
    EXPECT_NEAR(*repository.displayDiagonal(), 5.8586, 1e-4);
    EXPECT_EQ(repository.displayResolution(), "2436x1125");

    device->change([](FakeDevice::Facts& facts) { facts.machine = "x86_64"; });
    EXPECT_EQ(repository.displayDiagonal(), std::nullopt);
    EXPECT_EQ(repository.displayResolution(), "2436x1125");
}

TEST_F(DeviceInfoTest, LanguageIsTheFirstPreferredOneBeforeItsRegion) {
    device->change([](FakeDevice::Facts& facts) { facts.preferredLanguages = {"pt-BR", "en"}; });
    EXPECT_EQ(repository.language(), "pt");
    device->change([](FakeDevice::Facts& facts) { facts.preferredLanguages = {"zh-Hant-TW"}; });
    EXPECT_EQ(repository.language(), "zh");
    device->change([](FakeDevice::Facts& facts) { facts.preferredLanguages.clear(); });
    EXPECT_EQ(repository.language(), std::nullopt);
    device->change([](FakeDevice::Facts& facts) { facts.regionCode.reset(); });
    EXPECT_EQ(repository.country(), "");
}

TEST_F(DeviceInfoTest, ModelKeepsOnlyAsciiOfTheMachineName) {
    device->change([](FakeDevice::Facts& facts) {
        facts.machine =
            "arm\xc3\xa9"
            "64";
    });
    EXPECT_EQ(repository.model(), "arm64");
}

TEST_F(DeviceInfoTest, RecordHoldsTheDeviceFacts) {
    device->change([](FakeDevice::Facts& facts) {
        facts.systemName = "Debian GNU/Linux";
        facts.systemVersion = "12";
        facts.machine = "iPhone12,1";
        facts.manufacturer = "Framework";
        facts.preferredLanguages = {"de-AT"};
        facts.regionCode = "AT";
        facts.secondsFromGMT = 3600;
        facts.screen = host::ScreenInfo{414, 896, 2, 828, 1792};
    });
    auto gateway = std::make_shared<DeviceInfoGateway>(std::make_shared<DeviceInfoRepository>(
        std::make_shared<DeviceInfoCollector>(false, host::Environment::shared()),
        std::make_shared<RootedCheck>(false, host::Environment::shared())));
    const DeviceData data = request(*gateway);
    EXPECT_EQ(data.language, "de");
    EXPECT_EQ(data.country, "AT");
    EXPECT_EQ(data.osVersion, "12");
    EXPECT_EQ(data.osName, "Debian GNU/Linux");
    EXPECT_EQ(data.displayPpi, 326);
    EXPECT_EQ(data.displayResolution, "1792x828");
    ASSERT_TRUE(data.displayDiagonal.has_value());
    EXPECT_NEAR(*data.displayDiagonal, std::hypot(828.0 / 326, 1792.0 / 326), 1e-12);
    EXPECT_EQ(data.manufacturer, "Framework");
    EXPECT_EQ(data.model, "iPhone12,1");
    EXPECT_EQ(data.timeZoneOffset, 3600);
    EXPECT_FALSE(data.isRooted);
}

TEST_F(DeviceInfoTest, LaterRequestsRefreshOnlyLanguageCountryAndOffset) {
    PlatformiOS platform(std::make_shared<PlatformStorage>(), host::Environment::shared());
    std::optional<DeviceData> first;
    platform.getDeviceData([&](DeviceData data) { first = data; });
    ASSERT_TRUE(first.has_value());

    device->change([](FakeDevice::Facts& facts) {
        facts.preferredLanguages = {"fr-CA"};
        facts.regionCode = "CA";
        facts.secondsFromGMT = -18000;
        facts.systemVersion = "13";
        facts.machine = "iPhone12,1";
        facts.screen = host::ScreenInfo{1, 1, 1, 1, 1};
    });
    std::optional<DeviceData> second;
    platform.getDeviceData([&](DeviceData data) { second = data; });
    ASSERT_TRUE(second.has_value());
    DeviceData expected = *first;
    expected.language = "fr";
    expected.country = "CA";
    expected.timeZoneOffset = -18000;
    EXPECT_EQ(*second, expected);
}

// A rooted check whose answers the test releases by hand, on a thread of its own.
class ManualRootedCheck final : public RootedCheckProtocol {
public:
    void isRooted(std::function<void(bool)> completion) override {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(completion));
    }
    std::size_t pending() const {
        std::lock_guard lock(mutex_);
        return pending_.size();
    }
    void answer(std::size_t index, bool rooted) {
        std::function<void(bool)> completion;
        {
            std::lock_guard lock(mutex_);
            completion = pending_.at(index);
        }
        std::thread([completion, rooted] { completion(rooted); }).join();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::function<void(bool)>> pending_;
};

TEST_F(DeviceInfoTest, ALateFirstAnswerKeepsTheRecordAlreadyBuilt) {
    auto check = std::make_shared<ManualRootedCheck>();
    auto gateway = std::make_shared<DeviceInfoGateway>(std::make_shared<DeviceInfoRepository>(
        std::make_shared<DeviceInfoCollector>(false, host::Environment::shared()), check));
    std::vector<DeviceData> answers;
    std::mutex answersMutex;
    auto collect = [&](DeviceData data) {
        std::lock_guard lock(answersMutex);
        answers.push_back(std::move(data));
    };
    gateway->getDeviceData(collect);
    gateway->getDeviceData(collect);  // before the first answer: a second check
    ASSERT_EQ(check->pending(), 2u);

    check->answer(1, true);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_TRUE(answers[0].isRooted);

    device->change([](FakeDevice::Facts& facts) {
        facts.regionCode = "NZ";
        facts.systemVersion = "99";
    });
    check->answer(0, false);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_TRUE(answers[1].isRooted);       // the kept record stays
    EXPECT_EQ(answers[1].osVersion, "12");  // with its fixed facts
    EXPECT_EQ(answers[1].country, "NZ");    // and fresh changeable ones
    EXPECT_EQ(gateway->savedData(), answers[1]);
}

TEST_F(DeviceInfoTest, AnswersAfterTheGatewayIsGoneAreDropped) {
    auto check = std::make_shared<ManualRootedCheck>();
    auto gateway = std::make_shared<DeviceInfoGateway>(std::make_shared<DeviceInfoRepository>(
        std::make_shared<DeviceInfoCollector>(false, host::Environment::shared()), check));
    bool called = false;
    gateway->getDeviceData([&](DeviceData) { called = true; });
    gateway.reset();
    check->answer(0, false);
    EXPECT_FALSE(called);
}

TEST_F(DeviceInfoTest, ConcurrentRequestsAndAnswersShareOneRecord) {
    auto check = std::make_shared<ManualRootedCheck>();
    auto gateway = std::make_shared<DeviceInfoGateway>(std::make_shared<DeviceInfoRepository>(
        std::make_shared<DeviceInfoCollector>(false, host::Environment::shared()), check));
    std::atomic<int> answered{0};
    gateway->getDeviceData([&](DeviceData) { ++answered; });
    std::thread requester([&] {
        for (int i = 0; i < 200; ++i) {
            gateway->getDeviceData([&](DeviceData) { ++answered; });
        }
    });
    std::thread answerer([&] { check->answer(0, true); });
    requester.join();
    answerer.join();
    for (std::size_t i = 1; i < check->pending(); ++i) {
        check->answer(i, false);
    }
    EXPECT_EQ(answered.load(), 201);
    EXPECT_TRUE(gateway->savedData()->isRooted);
}

}  // namespace
}  // namespace zqb::test

#include "host/Device.hpp"
#include "host/Environment.hpp"
#include "support/FakeBundle.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cstdlib>

namespace zqb::test {
namespace {

using host::Device;

TEST(LinuxLocale, NamesOfThePosixLocale) {
    auto locale = Device::parseLocale("pt_BR.UTF-8");
    ASSERT_TRUE(locale);
    EXPECT_EQ(locale->language, "pt");
    EXPECT_EQ(locale->region, "BR");

    locale = Device::parseLocale("de_at@euro");
    ASSERT_TRUE(locale);
    EXPECT_EQ(locale->language, "de");
    EXPECT_EQ(locale->region, "AT");

    locale = Device::parseLocale("es_419.UTF-8");
    ASSERT_TRUE(locale);
    EXPECT_EQ(locale->region, "419");

    locale = Device::parseLocale("eo.UTF-8");
    ASSERT_TRUE(locale);
    EXPECT_EQ(locale->language, "eo");
    EXPECT_EQ(locale->region, "");

    EXPECT_FALSE(Device::parseLocale("C"));
    EXPECT_FALSE(Device::parseLocale("C.UTF-8"));
    EXPECT_FALSE(Device::parseLocale("POSIX"));
    EXPECT_FALSE(Device::parseLocale("/etc/evil"));
    EXPECT_FALSE(Device::parseLocale(""));
}

TEST(LinuxLocale, LcAllWinsOverLangAndIsReadAtEveryCall) {
    setenv("LANG", "fr_CA.UTF-8", 1);
    unsetenv("LC_ALL");
    Device device([] { return std::string("com.example.testapp"); }, "/nonexistent/vendor-ids.json");
    EXPECT_EQ(device.preferredLanguages(), (std::vector<std::string>{"fr-CA"}));
    EXPECT_EQ(device.regionCode(), "CA");
    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(device.preferredLanguages(), (std::vector<std::string>{"ja-JP"}));
    EXPECT_EQ(device.regionCode(), "JP");
    setenv("LC_ALL", "C", 1);
    EXPECT_TRUE(device.preferredLanguages().empty());
    EXPECT_EQ(device.regionCode(), std::nullopt);
}

TEST(LinuxTimeZone, OffsetFollowsTheZoneAndTheMoment) {
    Device device([] { return std::string("com.example.testapp"); }, "/nonexistent/vendor-ids.json");
    setenv("TZ", "UTC", 1);
    EXPECT_EQ(device.secondsFromGMT(1.7e9), 0);
    setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    EXPECT_EQ(device.secondsFromGMT(1704067200), -5 * 3600);  // 2024-01-01
    EXPECT_EQ(device.secondsFromGMT(1719792000), -4 * 3600);  // 2024-07-01
    unsetenv("TZ");
}

TEST(LinuxSystem, OsReleaseValues) {
    const std::string text =
        "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n"
        "ID=debian\nQUOTED='single'\nESCAPED=\"a \\\"b\\\"\"\n";
    EXPECT_EQ(Device::osReleaseValue(text, "NAME"), "Debian GNU/Linux");
    EXPECT_EQ(Device::osReleaseValue(text, "VERSION_ID"), "12");
    EXPECT_EQ(Device::osReleaseValue(text, "ID"), "debian");
    EXPECT_EQ(Device::osReleaseValue(text, "QUOTED"), "single");
    EXPECT_EQ(Device::osReleaseValue(text, "ESCAPED"), "a \"b\"");
    EXPECT_EQ(Device::osReleaseValue(text, "VERSION"), std::nullopt);
}

TEST(LinuxSystem, FactsOfThisMachine) {
    Device device([] { return std::string("com.example.testapp"); }, "/nonexistent/vendor-ids.json");
    EXPECT_FALSE(device.systemName().empty());
    EXPECT_FALSE(device.systemVersion().empty());
    EXPECT_FALSE(device.machine().empty());
    const std::string maker = device.manufacturer();
    EXPECT_FALSE(maker.empty());
    EXPECT_EQ(maker.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(device.screen(), std::nullopt);
    device.setScreen(host::ScreenInfo{1920, 1080, 1, 1920, 1080});
    EXPECT_EQ(device.screen(), (host::ScreenInfo{1920, 1080, 1, 1920, 1080}));
}

class VendorIdTest : public ::testing::Test {
protected:
    void SetUp() override { host::Environment::shared().setBundle(bundle); }
    void TearDown() override { host::Environment::shared().reset(); }

    TempDir dir;
    std::filesystem::path file = dir.path() / "vorantel-keychain" / "vendor-ids.json";
    std::shared_ptr<FakeBundle> bundle = std::make_shared<FakeBundle>();
    std::function<std::string()> identifier = [this] { return bundle->info().identifier; };
};

TEST_F(VendorIdTest, StablePerBundleAcrossInstances) {
    const auto first = Device(identifier, file).identifierForVendor();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), 36u);
    EXPECT_EQ(Device(identifier, file).identifierForVendor(), first);

    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    bundle->setInfo({"Other", "com.example.other", "1", "1"});
    const auto other = Device(identifier, file).identifierForVendor();
    EXPECT_NE(other, first);
    bundle->setInfo({"TestApp", "com.example.testapp", "1", "1"});
    EXPECT_EQ(Device(identifier, file).identifierForVendor(), first);
}

TEST_F(VendorIdTest, UnwritableLocationStillGivesOneIdPerProcess) {
    Device device(identifier, "/proc/no-such-dir/vendor-ids.json");
    const auto first = device.identifierForVendor();
    ASSERT_TRUE(first);
    EXPECT_EQ(device.identifierForVendor(), first);
}

}  // namespace
}  // namespace zqb::test

#include "PlatformFixture.hpp"

#include "host/Environment.hpp"
#include "platform/ApplicationCollector.hpp"
#include "platform/PlatformiOS.hpp"

#include <fstream>

namespace zqb::test {
namespace {

class ApplicationInfoTest : public PlatformFixture {
protected:
    void writeProfile(const std::string& text) {
        const auto path = dataHome.path() / "embedded.mobileprovision";
        std::ofstream(path, std::ios::binary) << text;
        bundle->setResource("embedded.mobileprovision", path);
    }
    int64_t sandboxState() { return ApplicationCollector(bundle, false).sandboxState(); }
};

TEST_F(ApplicationInfoTest, RecordHoldsTheBundleFacts) {
    PlatformiOS platform(std::make_shared<PlatformStorage>(), host::Environment::shared());
    EXPECT_EQ(platform.getApplicationData(), (ApplicationData{"1.2.3", "45", "com.example.testapp", 0}));
    EXPECT_EQ(platform.getSdkData(), (SdkData{"2.1.2", 10}));
}

TEST_F(ApplicationInfoTest, RecordIsBuiltOnceAndKept) {
    writeProfile("<key>get-task-allow</key><true/>");
    PlatformiOS platform(std::make_shared<PlatformStorage>(), host::Environment::shared());
    const auto first = platform.getApplicationData();
    bundle->setInfo({"TestApp", "com.example.other", "9", "9"});
    EXPECT_EQ(platform.getApplicationData(), first);
    EXPECT_EQ(first.sandboxState, 1);
    EXPECT_EQ(bundle->resourceLookups(), 1);
}

TEST_F(ApplicationInfoTest, MissingVersionsAreEmpty) {
    bundle->setInfo({"TestApp", "", "", ""});
    EXPECT_EQ(
        PlatformiOS(std::make_shared<PlatformStorage>(), host::Environment::shared()).getApplicationData(),
        (ApplicationData{"", "", "", 0}));
}

TEST_F(ApplicationInfoTest, SandboxStateFromTheProvisioningProfile) {
    EXPECT_EQ(sandboxState(), 0);  // no profile
    writeProfile(
        std::string("\x30\x82\xff binary\n<dict>\n\t<key>get-task-allow</key>\n\t\t<true/>\n</dict>"));
    EXPECT_EQ(sandboxState(), 1);
    writeProfile("<dict>\n\t<key>get-task-allow</key>\n\t<false/>\n</dict>");
    EXPECT_EQ(sandboxState(), 2);
    bundle->setResource("embedded.mobileprovision", dataHome.path() / "no-such-file");
    EXPECT_EQ(sandboxState(), 0);
    EXPECT_EQ(ApplicationCollector(bundle, true).sandboxState(), 1);
}

}  // namespace
}  // namespace zqb::test

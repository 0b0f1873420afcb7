// The stored packages text is assembled from the event texts without building a tree per event; it must be
// the very bytes that writing the packages' tree gives, whatever a stored text holds.
#include "model/Package.hpp"
#include "model/PackedEventText.hpp"
#include "model/Report.hpp"

#include "support/EveryRecordText.hpp"
#include "support/ReportTrees.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using zqb::Package;
using zqb::Report;

namespace {

// What the stored packages text was before it was assembled: the packages' tree, written.
std::string treeText(const std::vector<Package>& packages) {
    return zqb::test::treePackagesText(packages);
}

Package packageOf(std::vector<std::string> events) {
    Package package;
    package.language = "fr";
    package.appVersion = "1.2 \"beta\"";
    package.sdkVersion = "2.1.2";
    package.sdkCodeVersion = 10;
    package.bundle = "org.example.jeu";
    package.events = std::move(events);
    return package;
}

void expectSameBytes(const std::vector<std::string>& texts) {
    for (const auto& text : texts) {
        const std::vector<Package> one{packageOf({text})};
        EXPECT_EQ(Report::packagesText(one), treeText(one)) << text;
    }
    const std::vector<Package> all{packageOf(texts), packageOf({}), packageOf(texts)};
    EXPECT_EQ(Report::packagesText(all), treeText(all));
}

}  // namespace

TEST(PackagesText, EveryRecordGivesTheTreeBytes) {
    const auto texts = zqb::test::everyRecordText();
    for (const auto& text : texts) {
        ASSERT_FALSE(text.empty());
        // What the library stores is assembled, never read back into a tree.
        std::string assembled;
        EXPECT_TRUE(zqb::PackedEventText::append(assembled, text)) << text;
    }
    expectSameBytes(texts);
}

TEST(PackagesText, AnyStoredTextGivesTheTreeBytes) {
    expectSameBytes({
        // an event whose encoding failed, and texts that hold no object
        "",
        "[1,2]",
        "5",
        "\"x\"",
        "null",
        "not json",
        "{",
        "{\"a\":1",
        "{\"a\":1}x",
        "{\"a\":1,}",
        "{\"a\" :1}",
        " {\"a\":1}",
        "{\"a\":1} ",
        "{\"a\":tru}",
        "{\"a\":[1,]}",
        "{'a':1}",
        // numbers of every form
        R"({"i":0,"n":-7,"b":9223372036854775807,"m":-9223372036854775808,"u":18446744073709551615})",
        R"({"o":18446744073709551616,"d":123456789012345678,"e":1234567890123456789})",
        R"({"f":1.5,"w":5.0,"z":-0,"zf":-0.0,"e1":1e5,"e2":1E-5,"e3":2.5e+3,"x":0.1000000000000000055511151231257827})",
        R"({"big":1e308,"small":4.9e-324,"under":1e-400})",
        R"({"over":1e999})",
        R"({"lead":01})",
        R"({"dot":1.})",
        R"({"neg":-})",
        R"({"plus":+1})",
        R"({"frac":.5})",
        R"({"two":1.5.3})",
        R"({"minus":1-2})",
        R"({"p":123456789.123456789,"s":[1.10,2.00,-3.0e-2]})",
        // strings and escapes
        R"({"s":"a\"b\\c\/d\u00e9\u0001\u001F\u001f\n\r\t\b\f\u000a\u0041"})",
        R"({"s":"\u0000\u001f\u0008"})",
        "{\"s\":\"raw\x01"
        "control\"}",
        "{\"s\":\"\xc3\x28\"}",
        "{\"s\":\"\xed\xa0\x80\"}",
        "{\"s\":\"\xef\xbf\xbf\"}",
        R"({"s":"\ud83d\ude00","t":"\uD83D"})",
        "{\"\u00e9\":1,\"e\xcc\x81\":2}",
        "{\"\u212a\":1,\"K\":2}",
        "{\"g\u00e9m\":1,\"gem\":2,\"a\\n\":3}",
        "{\"g\u00e9m\":{\"x\":1,\"\u212a\":2,\"K\":3},\"\u00fc\":[{\"\u00e9\":1,\"e\xcc\x81\":2}]}",
        // keys, empty parameters and nesting
        R"({"a":1,"a":2})",
        R"({"a":{"b":1,"b":{}},"c":[{"d":1,"d":2}]})",
        R"({"a":{},"b":[],"c":[{}],"d":[[]]})",
        R"({"a":{"a":{"a":1}},"b":{"a":1}})",
        R"({"":1,"t":true,"f":false,"n":null})",
        std::string(80, '[') + std::string(80, ']'),
        "{\"a\":" + std::string(70, '[') + std::string(70, ']') + "}",
        "{\"a\":" + std::string(600, '[') + std::string(600, ']') + "}",
    });
}

TEST(PackagesText, APackageThatCannotBeWrittenGivesAnEmptyList) {
    Package bad = packageOf({R"({"a":1})"});
    bad.bundle = "\xff";
    const std::vector<Package> packages{packageOf({"{}"}), bad};
    EXPECT_EQ(Report::packagesText(packages), "[]");
    EXPECT_EQ(treeText(packages), "[]");
    EXPECT_EQ(Report::packagesText({}), "[]");
}

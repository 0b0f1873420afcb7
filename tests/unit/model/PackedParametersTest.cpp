#include "model/PackedParameters.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace zqb {
namespace {

// Every kind comes back as it went in, with the extremes of each, texts longer than one length byte and
// bytes that are not text; a key added twice keeps its later value.
TEST(PackedParameters, UnpacksEveryKindAndExtremeAsPacked) {
    PackedParameters packed;
    EXPECT_TRUE(packed.unpack().empty());
    const std::string longText(70'000, 'x');
    const std::string withZero("a\0b", 3);
    packed.add("flag", false);
    packed.add("min", std::numeric_limits<int64_t>::min());
    packed.add("max", std::numeric_limits<int64_t>::max());
    packed.add("ratio", -0.0);
    packed.add("nan", std::nan(""));
    packed.add(longText, std::string_view(longText));
    packed.add("", withZero);
    packed.add("flag", true);
    EXPECT_EQ(packed.size(), 8u);

    const AnyCodableMap map = packed.unpack();
    ASSERT_EQ(map.size(), 7u);
    EXPECT_EQ(map.begin()->first, "flag");
    EXPECT_EQ(map.find("flag")->boolValue(), true);
    EXPECT_EQ(map.find("min")->signedValue(), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(map.find("max")->kind(), AnyCodable::Kind::int_);
    EXPECT_EQ(map.find("max")->signedValue(), std::numeric_limits<int64_t>::max());
    EXPECT_TRUE(std::signbit(*map.find("ratio")->doubleValue()));
    EXPECT_TRUE(std::isnan(*map.find("nan")->doubleValue()));
    EXPECT_EQ(*map.find(longText)->stringValue(), longText);
    EXPECT_EQ(*map.find("")->stringValue(), withZero);
}

}  // namespace
}  // namespace zqb

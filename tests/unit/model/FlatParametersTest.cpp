#include "model/FlatParameters.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace zqb {
namespace {

// Every kind comes back as it went in, with the extremes of each, texts longer than one length byte and
// bytes that are not text; a key added twice keeps its later value.
TEST(FlatParameters, ExpandsEveryKindAndExtremeAsAdded) {
    FlatParameters flat;
    EXPECT_TRUE(flat.expand().empty());
    const std::string longText(70'000, 'x');
    const std::string withZero("a\0b", 3);
    flat.add("flag", false);
    flat.add("min", std::numeric_limits<int64_t>::min());
    flat.add("max", std::numeric_limits<int64_t>::max());
    flat.add("ratio", -0.0);
    flat.add("nan", std::nan(""));
    flat.add(longText, std::string_view(longText));
    flat.add("", withZero);
    flat.add("flag", true);
    EXPECT_EQ(flat.size(), 8u);

    const AnyCodableMap map = flat.expand();
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

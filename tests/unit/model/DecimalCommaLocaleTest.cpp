// Numbers leave the library, and are read back, with a decimal point whatever locale the host has put the
// process under.

#include "foundation/Decimal.hpp"
#include "foundation/TextUtils.hpp"
#include "model/AnyCodable.hpp"
#include "model/JsonText.hpp"
#include "support/DecimalCommaLocale.hpp"
#include "support/LogCapture.hpp"
#include "validation/Validator.hpp"

#include <gtest/gtest.h>

#include <cstdio>

namespace zqb {
namespace {

using Json = nlohmann::ordered_json;

TEST(NumbersUnderADecimalCommaLocale, AreWrittenAndReadWithADecimalPoint) {
    test::DecimalCommaLocale locale;
    if (!locale.available()) {
        GTEST_SKIP() << locale.reason();
    }
    char probe[8];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    ASSERT_STREQ(probe, "0,5");  // the C library does write a comma now

    EXPECT_EQ(JsonText::write(AnyCodable(0.1f).toJson()), "0.1");
    EXPECT_EQ(JsonText::write(AnyCodable(0.5).toJson()), "0.5");
    EXPECT_EQ(JsonText::write(Json{{"revenue", 0.25}, {"price", *Decimal::parse("0.99")}}),
              R"({"revenue":0.25,"price":0.99})");
    EXPECT_EQ(text::doubleDescription(1.5), "1.5");
    EXPECT_EQ(text::floatDescription(0.1f), "0.1");

    // A decimal read from JSON keeps its digits; a plain reading keeps the value.
    const Json parsed = JsonText::parse(R"({"price":0.99,"rate":1.5e-3})");
    EXPECT_EQ(parsed["price"].get<Decimal>(), *Decimal::parse("0.99"));
    EXPECT_EQ(JsonText::write(parsed), R"({"price":0.99,"rate":0.0015})");
    EXPECT_EQ(AnyCodable::fromJson(Json::parse("0.5")).doubleValue(), 0.5);

    test::LogCapture log;
    Validator::inInterval("AdImpression", "The revenue argument value", -0.5, 0.0, 1.5);
    EXPECT_TRUE(log.contains("[-0.5] is less than the min [0.0] permitted value!"));
}

}  // namespace
}  // namespace zqb

// The writer produces its strings and plain scalars itself; they must stay byte for byte what nlohmann's
// own `dump()` writes, which the stored events and the gateway have always received.

#include "model/JsonText.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace zqb {
namespace {

using Json = nlohmann::ordered_json;

TEST(JsonTextTest, StringsAreEscapedAsNlohmannEscapesThem) {
    std::vector<std::string> texts{"",
                                   "plain",
                                   "a\"b\\c/d",
                                   "tab\there\r\n",
                                   "\x7f del",
                                   "é€𝄞 mixed \x01 end",
                                   std::string("nul\0inside", 10)};
    for (int byte = 0; byte < 0x80; ++byte) {
        texts.push_back(std::string(1, static_cast<char>(byte)));
        texts.push_back("x" + std::string(1, static_cast<char>(byte)) + "y");
    }
    for (const auto& text : texts) {
        const Json json = text;
        EXPECT_EQ(JsonText::write(json), json.dump()) << "byte string of size " << text.size();
        // Also as a key and within the pretty style, where the same writer serves.
        const Json object = {{text, text}};
        EXPECT_EQ(JsonText::write(object), object.dump());
        // The pretty style puts a blank on both sides of the colon.
        EXPECT_EQ(JsonText::write(object, JsonText::Style::pretty),
                  "{\n  " + json.dump() + " : " + json.dump() + "\n}");
    }
}

TEST(JsonTextTest, InvalidUtf8IsRefusedWithItsPath) {
    for (const std::string bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "cut \xE2\x82"}) {
        const Json object = {{"name", Json::array({"ok", bad})}};
        try {
            JsonText::write(object);
            ADD_FAILURE() << "accepted " << bad.size() << " bytes";
        } catch (const JsonText::EncodingError& error) {
            EXPECT_STREQ(error.what(),
                         "invalidValue: a string is not valid UTF-8 (coding path: name.Index 1)");
        }
    }
}

TEST(JsonTextTest, IntegersBooleansAndNullAreWrittenAsNlohmannWritesThem) {
    const Json values = Json::array({nullptr, true, false, 0, -1, 42, std::numeric_limits<int64_t>::min(),
                                     std::numeric_limits<int64_t>::max(),
                                     std::numeric_limits<uint64_t>::max(), uint64_t{0}, 1.5, -0.0});
    EXPECT_EQ(JsonText::write(values), values.dump());
    EXPECT_EQ(JsonText::write(values, JsonText::Style::pretty), values.dump(2));
}

}  // namespace
}  // namespace zqb

#include "foundation/TextUtils.hpp"

#include <gtest/gtest.h>
#include <utf8proc.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <set>
#include <string>

namespace zqb::text {
namespace {

using namespace std::string_literals;

const std::string kEAcute = "e\xCC\x81";         // e + COMBINING ACUTE ACCENT
const std::string kEAcuteComposed = "\xC3\xA9";  // U+00E9
const std::string kZwj = "\xE2\x80\x8D";         // U+200D, a format character (Cf)
const std::string kMan = "\xF0\x9F\x91\xA8";     // U+1F468
const std::string kWoman = "\xF0\x9F\x91\xA9";   // U+1F469
const std::string kGirl = "\xF0\x9F\x91\xA7";    // U+1F467
const std::string kFamily = kMan + kZwj + kWoman + kZwj + kGirl;
const std::string kFlagDE = "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA";  // regional indicators D, E
const std::string kFlagFR = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";
const std::string kReplacement = "\xEF\xBF\xBD";

TEST(TextCharacters, CountsGraphemeClustersNotBytesOrCodePoints) {
    EXPECT_EQ(characterCount(""), 0u);
    EXPECT_EQ(characterCount("abc"), 3u);
    EXPECT_EQ(characterCount(kEAcute), 1u);
    EXPECT_EQ(characterCount(kEAcute + kEAcute + "x"), 3u);
    EXPECT_EQ(characterCount(kFamily), 1u);
    EXPECT_EQ(characterCount(kFlagDE + kFlagFR), 2u);
    EXPECT_EQ(characterCount(kFlagDE + kFlagFR + "\xF0\x9F\x87\xA9"), 3u);  // a lone indicator stands alone
    EXPECT_EQ(characterCount("a\r\nb"), 3u);                                // CR LF is one character
    EXPECT_EQ(characterCount("a\n\rb"), 4u);
    EXPECT_EQ(characterCount("\xE4\xBD\xA0\xE5\xA5\xBD"), 2u);
}

TEST(TextCharacters, PrefixNeverCutsInsideACluster) {
    EXPECT_EQ(characterPrefix("abcdef", 3), "abc");
    EXPECT_EQ(characterPrefix("ab", 5), "ab");
    EXPECT_EQ(characterPrefix("ab", 0), "");
    EXPECT_EQ(characterPrefix(kEAcute + "x", 1), kEAcute);
    EXPECT_EQ(characterPrefix("x" + kFamily + "y", 2), "x" + kFamily);
    EXPECT_EQ(characterPrefix(kFlagDE + kFlagFR, 1), kFlagDE);
    EXPECT_EQ(characterPrefix("a\r\nb", 2), "a\r\n");
    // The prefix of broken text comes back repaired.
    EXPECT_EQ(characterPrefix("a\xFF"
                              "bc",
                              2),
              "a" + kReplacement);
}

TEST(TextControlCharacters, RemovesCcAndCfOnly) {
    EXPECT_EQ(removeControlCharacters("a\tb\nc\rd\x7F"
                                      "e\x01"),
              "abcde");
    EXPECT_EQ(removeControlCharacters("\xC2\x85x\xC2\x9F"), "x");  // C1 controls NEL, APC
    EXPECT_EQ(removeControlCharacters("a\0b"s), "ab");
    EXPECT_EQ(removeControlCharacters("l\xE2\x80\x8Er\xEF\xBB\xBF"), "lr");  // LRM, BOM
    EXPECT_EQ(removeControlCharacters(kEAcute), kEAcute);                    // Mn stays
    EXPECT_EQ(removeControlCharacters("a b\xC2\xA0"), "a b\xC2\xA0");        // spaces stay
    EXPECT_TRUE(containsControlCharacters("a\tb"));
    EXPECT_TRUE(containsControlCharacters(kFamily));
    EXPECT_FALSE(containsControlCharacters(kFlagDE + kEAcute + "plain"));

    // A family emoji loses its joiners and falls apart into its three members.
    const std::string cleaned = removeControlCharacters(kFamily);
    EXPECT_EQ(cleaned, kMan + kWoman + kGirl);
    EXPECT_EQ(characterCount(cleaned), 3u);
    // Flags hold no format characters and survive whole.
    EXPECT_EQ(removeControlCharacters(kFlagDE), kFlagDE);
}

TEST(TextUtf8, InvalidSequencesAreRepairedToReplacementCharacters) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain " + kFamily + kEAcute + "\xF4\x8F\xBF\xBF"));  // U+10FFFF
    EXPECT_EQ(repairUtf8("ok " + kFamily), "ok " + kFamily);

    const std::vector<std::pair<std::string, std::string>> cases{
        {"a\xFF"
         "b",
         "a" + kReplacement + "b"},
        {"\xC0\xAF", kReplacement + kReplacement},                                        // overlong "/"
        {"\xED\xA0\x80", kReplacement + kReplacement + kReplacement},                     // UTF-16 surrogate
        {"\xF4\x90\x80\x80", kReplacement + kReplacement + kReplacement + kReplacement},  // above U+10FFFF
        {"\xE2\x82"
         "x",
         kReplacement + "x"},                       // truncated sequence: one replacement
        {"\xF0\x9F\x91", kReplacement},             // truncated at the end
        {"\x80\x80", kReplacement + kReplacement},  // stray continuation bytes
        {"\xC3", kReplacement},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_FALSE(isValidUtf8(input));
        EXPECT_EQ(repairUtf8(input), expected);
        EXPECT_TRUE(isValidUtf8(repairUtf8(input)));
    }
    // The other helpers read broken input the same way and answer valid text.
    EXPECT_EQ(removeControlCharacters("\x01\xE2\x82\x02"), kReplacement);
    EXPECT_EQ(characterCount("\xE2\x82"
                             "x\xFF"),
              3u);
    EXPECT_EQ(nfc("e\xFF\xCC\x81"), "e" + kReplacement + "\xCC\x81");
}

TEST(TextCanonicalEquality, ComparesNfcFormsWhole) {
    EXPECT_EQ(nfc(kEAcute), kEAcuteComposed);
    EXPECT_EQ(nfc(kEAcuteComposed), kEAcuteComposed);
    EXPECT_TRUE(canonicallyEqual(kEAcute, kEAcuteComposed));
    EXPECT_TRUE(canonicallyEqual("caf" + kEAcute, "caf" + kEAcuteComposed));
    EXPECT_FALSE(canonicallyEqual("e", kEAcuteComposed));
    EXPECT_FALSE(canonicallyEqual("fi", "\xEF\xAC\x81"));  // the ligature is only compatibility-equal
    // An embedded U+0000 is part of the text, not its end.
    EXPECT_EQ(nfc("a\0"s + kEAcute), "a\0"s + kEAcuteComposed);
    EXPECT_FALSE(canonicallyEqual("key\0a"s, "key\0b"s));
    EXPECT_TRUE(canonicallyEqual("key\0"s + kEAcute, "key\0"s + kEAcuteComposed));
    EXPECT_EQ(nfc(""), "");
}

TEST(TextNumbers, DoubleDescriptionMatchesTheShortestRoundTripForm) {
    const std::vector<std::pair<double, std::string>> cases{
        {5.0, "5.0"},
        {0.99, "0.99"},
        {0.5, "0.5"},
        {0.1, "0.1"},
        {1e-05, "1e-05"},
        {0.0001, "0.0001"},
        {1e16, "1e+16"},
        {9007199254740992.0, "9007199254740992.0"},
        {9007199254740994.0, "9.007199254740994e+15"},
        {1234567.25, "1234567.25"},
        {-2.5, "-2.5"},
        {DBL_MAX, "1.7976931348623157e+308"},
        {5e-324, "5e-324"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
        {std::numeric_limits<double>::quiet_NaN(), "nan"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(doubleDescription(value), expected);
        if (std::isfinite(value)) {
            EXPECT_EQ(std::strtod(doubleDescription(value).c_str(), nullptr), value) << expected;
        }
    }
    EXPECT_EQ(floatDescription(0.1f), "0.1");
    EXPECT_EQ(floatDescription(16777216.0f), "16777216.0");
    EXPECT_EQ(floatDescription(3e7f), "3e+07");
}

TEST(TextEncoding, Base64EncodesEveryTailLength) {
    EXPECT_EQ(base64Encode(""), "");
    EXPECT_EQ(base64Encode("f"), "Zg==");
    EXPECT_EQ(base64Encode("fo"), "Zm8=");
    EXPECT_EQ(base64Encode("foo"), "Zm9v");
    EXPECT_EQ(base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64Encode("\0\xFF\xFE"s), "AP/+");
    EXPECT_EQ(base64Encode("\xFB\xFF"), "+/8=");
}

// Upper-case hexadecimal 8-4-4-4-12, version 4, RFC 4122 variant.
bool isUuidV4(const std::string& text) {
    if (text.size() != 36) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') {
                return false;
            }
        } else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return text[14] == '4' && std::string("89AB").find(text[19]) != std::string::npos;
}

TEST(TextEncoding, UuidsAreUpperCaseVersion4AndDistinct) {
    EXPECT_TRUE(isUuidV4("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"));
    EXPECT_FALSE(isUuidV4("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"));
    std::set<std::string> seen;
    for (int i = 0; i < 1'000; ++i) {
        const std::string uuid = uuidString();
        ASSERT_TRUE(isUuidV4(uuid)) << uuid;
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 1'000u);
}

// What the shortcuts for ASCII must agree with: every code point of the (repaired) text looked up in
// utf8proc, its category for the control characters and its break property for the clusters.
std::vector<utf8proc_int32_t> codePoints(std::string_view valid) {
    std::vector<utf8proc_int32_t> points;
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(valid.data());
    utf8proc_ssize_t offset = 0;
    while (offset < static_cast<utf8proc_ssize_t>(valid.size())) {
        utf8proc_int32_t point = 0;
        offset +=
            utf8proc_iterate(bytes + offset, static_cast<utf8proc_ssize_t>(valid.size()) - offset, &point);
        points.push_back(point);
    }
    return points;
}

bool lookedUpControl(utf8proc_int32_t point) {
    const auto category = utf8proc_category(point);
    return category == UTF8PROC_CATEGORY_CC || category == UTF8PROC_CATEGORY_CF;
}

std::string encoded(utf8proc_int32_t point) {
    utf8proc_uint8_t bytes[4];
    return std::string(reinterpret_cast<const char*>(bytes),
                       static_cast<std::size_t>(utf8proc_encode_char(point, bytes)));
}

// The clusters of a valid text, each as its bytes.
std::vector<std::string> lookedUpClusters(std::string_view valid) {
    std::vector<std::string> clusters;
    utf8proc_int32_t state = 0;
    utf8proc_int32_t previous = -1;
    for (const auto point : codePoints(valid)) {
        if (previous < 0 || utf8proc_grapheme_break_stateful(previous, point, &state)) {
            clusters.emplace_back();
        }
        clusters.back() += encoded(point);
        previous = point;
    }
    return clusters;
}

// Texts of ASCII and of what sits next to it in real texts: controls, CR LF, marks that extend, joiners,
// prepended and spacing marks, Hangul jamo, emoji and flags, format characters, and broken bytes.
std::string mixedText(std::mt19937_64& random) {
    static const std::vector<std::string> pieces{
        "a",
        "Z",
        "7",
        " ",
        "~",
        "\r",
        "\n",
        "\r\n",
        "\t",
        "\x01",
        "\x1f",
        "\x7f",
        std::string(1, '\0'),
        "\xCC\x81",      // U+0301 combining acute (Extend)
        "\xE2\x80\x8D",  // U+200D ZWJ (Cf, Extend)
        "\xD8\x80",      // U+0600 Arabic number sign (Cf, Prepend)
        "\xE0\xA4\x83",  // U+0903 Devanagari sign visarga (SpacingMark)
        "\xE1\x84\x80",  // U+1100 Hangul choseong (L)
        "\xE1\x85\xA1",  // U+1161 Hangul jungseong (V)
        "\xE1\x86\xA8",  // U+11A8 Hangul jongseong (T)
        "\xEA\xB0\x80",  // U+AC00 Hangul syllable (LV)
        "\xEF\xB8\x8F",  // U+FE0F variation selector
        "\xC2\xAD",      // U+00AD soft hyphen (Cf)
        "\xC2\x85",      // U+0085 NEL (Cc)
        "\xEF\xBB\xBF",  // U+FEFF (Cf)
        "\xC3\xA9",
        "\xE4\xB8\xAD",
        kMan,
        kZwj + kWoman,
        "\xF0\x9F\x87\xA9",
        "\xF0\x9F\x87\xAA",
        "\xE2\x9D\xA4",      // U+2764 (Extended_Pictographic)
        "\xF0\x9F\x8F\xBB",  // U+1F3FB skin tone (Extend)
        "\xFF",
        "\x80",
        "\xE2\x82",
        "\xC3"};
    std::string text;
    const std::size_t count = std::uniform_int_distribution<std::size_t>(0, 16)(random);
    for (std::size_t index = 0; index < count; ++index) {
        // Mostly ASCII, as most texts are.
        if (std::uniform_int_distribution<int>(0, 2)(random) == 0) {
            text += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
        } else {
            text += static_cast<char>(std::uniform_int_distribution<int>(0x20, 0x7E)(random));
        }
    }
    return text;
}

TEST(TextShortcuts, AsciiShortcutsAgreeWithLookingUpEveryCodePoint) {
    for (const uint64_t seed : {1u, 2u, 3u}) {
        std::mt19937_64 random(seed);
        for (int round = 0; round < 20000; ++round) {
            const std::string text = mixedText(random);
            const std::string valid = repairUtf8(text);
            const auto points = codePoints(valid);
            std::string kept;
            bool anyControl = false;
            for (const auto point : points) {
                if (lookedUpControl(point)) {
                    anyControl = true;
                } else {
                    kept += encoded(point);
                }
            }
            ASSERT_EQ(removeControlCharacters(text), kept) << "seed " << seed << " round " << round;
            ASSERT_EQ(containsControlCharacters(text), anyControl) << "seed " << seed << " round " << round;

            for (const auto& measured : {text, kept}) {
                const auto clusters = lookedUpClusters(repairUtf8(measured));
                ASSERT_EQ(characterCount(measured), clusters.size()) << "seed " << seed << " round " << round;
                const std::size_t limit =
                    std::uniform_int_distribution<std::size_t>(0, clusters.size() + 1)(random);
                std::string prefix;
                for (std::size_t index = 0; index < limit && index < clusters.size(); ++index) {
                    prefix += clusters[index];
                }
                ASSERT_EQ(characterPrefix(measured, limit), prefix) << "seed " << seed << " round " << round;
            }
        }
    }
}

}  // namespace
}  // namespace zqb::text

// Unsent events are cached with their texts in a compact form and rows of one allocation; whatever a text
// holds, the row must give back its very bytes.
#include "foundation/RecordArena.hpp"
#include "model/CompactEventText.hpp"
#include "model/CustomEvent.hpp"
#include "model/EventObject.hpp"

#include "support/EveryRecordText.hpp"

#include <gtest/gtest.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <memory>
#include <random>
#include <string>
#include <vector>

using zqb::CompactEventText;
using zqb::EventObject;

namespace {

void expectRoundTrip(const std::string& text) {
    const std::size_t size = CompactEventText::compactSize(text);
    ASSERT_NE(size, CompactEventText::kNotCompact) << text;
    const std::string compact = CompactEventText::compact(text).value();
    EXPECT_EQ(compact.size(), size) << text;
    EXPECT_LE(compact.size(), text.size()) << text;
    EXPECT_EQ(CompactEventText::expand(compact), text) << text;

    const auto row = EventObject::make("ce", 4, 2, text);
    EXPECT_EQ(row->json(), text);
    EXPECT_EQ(row->code(), "ce");
}

std::string customEventText() {
    return zqb::CustomEvent(1700000000000, 1700000000000, 1, "match_finished",
                            zqb::AnyCodableMap{{"mode", "duel"}, {"score", 1234}, {"ratio", 0.75}})
        .getJson();
}

}  // namespace

TEST(CompactEventText, EveryRecordTextComesBackAndShrinks) {
    for (const auto& text : zqb::test::everyRecordText()) {
        expectRoundTrip(text);
        EXPECT_LT(CompactEventText::compactSize(text), text.size()) << text;
    }
    // The keys of the cached events are most of their bytes: the compact form must stay well below them.
    const std::string text = customEventText();
    expectRoundTrip(text);
    EXPECT_LE(CompactEventText::compactSize(text) * 10, text.size() * 6) << text;
}

TEST(CompactEventText, OddTextsComeBack) {
    for (const std::string text : {
             "",
             "{",
             "\"",
             "{\"code\"",
             "{\"code\":\"",
             "{\"code\":\"{\"code\":\"",
             "\",\"timestamp\"",
             "::::\"\"\"\",,,,}}}}{{{{",
             "true",
             "tru",
             "\x7f\x80\xff",
             "\xc3\x28 invalid UTF-8 \xed\xa0\x80",
             "not json at all",
             "{\"code\":\"ce\",\"timestamp\":-1,\"timestamp\":1e999}",
             "0000000000000",
             "9999999999999",
             "999999999999",
             "12345678901234567890123456",
             "{\"code\":\"ce\",\"timestamp\":0017000000000.5e13,\"s\":\"17000000000001\"}",
         }) {
        expectRoundTrip(text);
    }
}

// A byte below 0x20 is what the compact form is made of: a text that holds one, which no written text does,
// is kept as it is and still comes back whole.
TEST(CompactEventText, TextsWithControlBytesAreKeptAsTheyAre) {
    const std::vector<std::string> texts{
        std::string("{\"code\":\"ce\"\x01}"), std::string("\x1f"), std::string(1, '\0'),
        std::string("{\"s\":\"raw\ttab\",\"t\":\"a\nb\"}"), std::string("\x01\x02\x1f{\"code\":\"", 12)};
    for (const auto& text : texts) {
        EXPECT_EQ(CompactEventText::compactSize(text), CompactEventText::kNotCompact) << text;
        const auto row = EventObject::make("ce", 1, 1, text);
        EXPECT_EQ(row->json(), text);
    }
}

TEST(CompactEventText, RandomTextsComeBack) {
    // Bytes from the sequences' own characters, so that matches, near matches and their overlaps are many.
    const std::string pieces = "{}[]\":,codetimsapnrgvlyIPxEu01 \x7f\xc3\xa9\xff";
    std::mt19937 random(20240601);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const std::size_t length = random() % 80;
        for (std::size_t index = 0; index < length; ++index) {
            text += random() % 8 == 0 ? static_cast<char>(0x20 + random() % 0xE0)
                                      : pieces[random() % pieces.size()];
        }
        if (random() % 4 == 0) {
            text.insert(random() % (text.size() + 1), customEventText().substr(random() % 40, random() % 60));
        }
        if (random() % 4 == 0) {
            // Digit runs about as long as a time stamp's.
            const std::size_t digits = 10 + random() % 8;
            std::string run;
            for (std::size_t index = 0; index < digits; ++index) {
                run += static_cast<char>('0' + random() % 10);
            }
            text.insert(random() % (text.size() + 1), run);
        }
        expectRoundTrip(text);
        if (HasFailure()) {
            return;
        }
        // Any byte below 0x20 anywhere keeps the text as it is.
        text.insert(random() % (text.size() + 1), 1, static_cast<char>(random() % 0x20));
        EXPECT_EQ(CompactEventText::compactSize(text), CompactEventText::kNotCompact);
        EXPECT_EQ(EventObject::make("ce", 1, 1, text)->json(), text);
    }
}

TEST(EventObjectRow, KeepsCodeTextAndIdsOfAnySize) {
    const std::string text = customEventText();
    const auto row = EventObject::make("ce", 7, 3, text);
    EXPECT_EQ(row->idKey, 7);
    EXPECT_EQ(row->userId, 3);
    EXPECT_EQ(row->json(), text);

    const auto empty = EventObject::make("", -1, -1, "");
    EXPECT_EQ(empty->code(), "");
    EXPECT_EQ(empty->json(), "");

    // A code longer than any event's, from a damaged file, comes back whole all the same.
    const std::string longCode(70000, 'c');
    const auto wide = EventObject::make(longCode, 1, 2, text);
    EXPECT_EQ(wide->code(), longCode);
    EXPECT_EQ(wide->json(), text);

    const std::string longText = "{\"s\":\"" + std::string(100000, 'x') + "\"}";
    EXPECT_EQ(EventObject::make("ce", 1, 2, longText)->json(), longText);

    const auto read =
        EventObject::fromRow({zqb::SQLiteValue(int64_t{5}), zqb::SQLiteValue(std::string("tr")),
                              zqb::SQLiteValue(int64_t{6}), zqb::SQLiteValue(std::string("a\x01z"))});
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->code(), "tr");
    EXPECT_EQ(read->json(), "a\x01z");
}

// The rows of stored events wait by the thousand, made between the short-lived blocks of each write: they
// take their memory from the record arena, not from the general heap, whose pages those blocks free for the
// system to have back. Once the rows are gone, so is their memory.
TEST(EventObjectRow, RowsTakeTheirMemoryFromTheRecordArenaAndGiveItBack) {
    const std::string text = customEventText();
    const std::size_t compactSize = CompactEventText::compactSize(text);
    constexpr std::size_t kRows = 10'000;
    std::vector<std::shared_ptr<EventObject>> rows;
    rows.reserve(kRows);
    const std::size_t arenaBefore = zqb::RecordArena::mappedBytes();
#if defined(__GLIBC__)
    const std::size_t heapBefore = mallinfo2().uordblks;
#endif
    for (std::size_t index = 0; index < kRows; ++index) {
        rows.push_back(EventObject::make("ce", static_cast<int64_t>(index), 1, text));
    }
#if defined(__GLIBC__)
    // The heap holds a few blocks of the test's own at most; the rows would take a megabyte.
    EXPECT_LT(mallinfo2().uordblks, heapBefore + kRows * 8);
#endif
    EXPECT_GE(zqb::RecordArena::mappedBytes(), kRows * compactSize);
    for (std::size_t index = 0; index < kRows; index += 997) {
        EXPECT_EQ(rows[index]->idKey, static_cast<int64_t>(index));
        EXPECT_EQ(rows[index]->json(), text);
    }
    rows.clear();
    EXPECT_LE(zqb::RecordArena::mappedBytes(), arenaBefore + zqb::RecordArena::reserveBytes + 2 * 64 * 1024);
}

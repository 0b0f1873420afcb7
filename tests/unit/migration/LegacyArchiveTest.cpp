#include "migration/BinaryPlistBounds.hpp"
#include "migration/KeyedDecoder.hpp"
#include "migration/KeyedUnarchiver.hpp"
#include "migration/SDKMigrationManager.hpp"
#include "migration/UsersStoragesMigration.hpp"
#include "support/KeyedArchiveWriter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace zqb {
namespace {

using test::KeyedArchiveWriter;
using Index = KeyedArchiveWriter::Index;

// Builds the earlier library's archive: a root "UsersStorages" with its users by id.
class LegacyArchive : public ::testing::Test {
protected:
    // A user object with every field the earlier library wrote; `fields` replaces or adds fields.
    Index user(const std::string& userId, KeyedArchiveWriter::Fields extra = {}) {
        KeyedArchiveWriter::Fields fields = {
            {"level", plist_new_uint(4)},
            {"userId", KeyedArchiveWriter::ref(writer.string(userId))},
            {"prevId", KeyedArchiveWriter::ref(writer.mutableString("previous"))},
            {"transactionIds",
             KeyedArchiveWriter::ref(writer.list({writer.string("t1"), writer.string("t2")}))},
            {"tutorCompletedSteps",
             KeyedArchiveWriter::ref(writer.list({writer.integer(1), writer.integer(2), writer.integer(5)}))},
        };
        for (auto& [key, value] : extra) {
            bool replaced = false;
            for (auto& field : fields) {
                if (field.first == key) {
                    plist_free(field.second);
                    field.second = value;
                    replaced = true;
                }
            }
            if (!replaced) {
                fields.emplace_back(key, value);
            }
        }
        return writer.object("DataStorage", fields);
    }

    Index preferences(const std::vector<std::pair<std::string, Index>>& values) {
        return writer.object("PlayerPreferences",
                             {{"preferences", KeyedArchiveWriter::ref(writer.dictionary(values))}});
    }

    Index root(const std::string& activeUser, const std::vector<std::pair<std::string, Index>>& users,
               bool tracking = true) {
        return writer.object("UsersStorages",
                             {{"activeUser", KeyedArchiveWriter::ref(writer.string(activeUser))},
                              {"dataStorages", KeyedArchiveWriter::ref(writer.dictionary(users))},
                              {"trackingAvailable", plist_new_bool(tracking ? 1 : 0)}});
    }

    std::optional<MigrationObject> read(Index rootIndex) {
        return SDKMigrationManager::objectFromArchive(writer.bytes(rootIndex));
    }

    KeyedArchiveWriter writer;
};

TEST_F(LegacyArchive, TheActiveUserBecomesTheMigrationRecord) {
    const Index card = preferences({{"coins", writer.integer(12)},
                                    {"name", writer.mutableString("Ann")},
                                    {"ratio", writer.real(0.5)},
                                    {"vip", writer.boolean(true)},
                                    {"gone", writer.nullObject()}});
    const Index active = user("u1", {{"playerPreferences", KeyedArchiveWriter::ref(card)}});
    const auto object = read(root("u1", {{"other", user("u2")}, {"u1", active}}));

    ASSERT_TRUE(object);
    EXPECT_EQ(object->userId, "u1");
    EXPECT_EQ(object->prevUserId, "previous");
    EXPECT_EQ(object->level, 4);
    EXPECT_TRUE(object->trackingAvailable);
    EXPECT_FALSE(object->deviceId);
    EXPECT_FALSE(object->prevDeviceId);
    EXPECT_EQ(object->transactionIds, (std::vector<std::string>{"t1", "t2"}));
    EXPECT_EQ(object->tutorCompletedSteps, (std::vector<int64_t>{1, 2, 5}));
    ASSERT_EQ(object->userCard.size(), 5u);
    EXPECT_EQ(object->userCard.at("coins").intValue(), 12);
    EXPECT_EQ(object->userCard.at("name").toString(), "Ann");
    EXPECT_EQ(object->userCard.at("ratio").doubleValue(), 0.5);
    EXPECT_EQ(object->userCard.at("vip").boolValue(), true);
    EXPECT_TRUE(object->userCard.at("gone").isNull());
}

TEST_F(LegacyArchive, MissingOrMistypedFieldsTakeTheirFallbacks) {
    // No level, no user id, an order id that is a number, steps that are texts, a card that is a list.
    const Index active = writer.object(
        "DataStorage",
        {{"prevId", plist_new_uint(3)},
         {"transactionIds", KeyedArchiveWriter::ref(writer.list({writer.string("t1"), writer.integer(2)}))},
         {"tutorCompletedSteps", KeyedArchiveWriter::ref(writer.list({writer.string("1")}))},
         {"playerPreferences", KeyedArchiveWriter::ref(writer.list({}))}});
    const Index rootIndex = writer.object(
        "UsersStorages", {{"activeUser", KeyedArchiveWriter::ref(writer.string("u1"))},
                          {"dataStorages", KeyedArchiveWriter::ref(writer.dictionary({{"u1", active}}))}});
    const auto object = read(rootIndex);

    ASSERT_TRUE(object);
    EXPECT_EQ(object->level, 0);
    EXPECT_FALSE(object->userId);
    EXPECT_FALSE(object->prevUserId);
    EXPECT_FALSE(object->trackingAvailable);
    EXPECT_TRUE(object->transactionIds.empty());
    EXPECT_TRUE(object->tutorCompletedSteps.empty());
    EXPECT_TRUE(object->userCard.empty());
}

TEST_F(LegacyArchive, CardValuesOfOtherKindsAndNonFiniteNumbersAreDroppedOneByOne) {
    const Index card = preferences({{"kept", writer.integer(1)},
                                    {"date", writer.date(1000.0)},
                                    {"list", writer.list({writer.integer(1)})},
                                    {"map", writer.dictionary(std::vector<std::pair<std::string, Index>>{})},
                                    {"nan", writer.real(std::numeric_limits<double>::quiet_NaN())},
                                    {"inf", writer.real(-std::numeric_limits<double>::infinity())},
                                    {"data", writer.add(plist_new_data("ab", 2))}});
    const auto object =
        read(root("u1", {{"u1", user("u1", {{"playerPreferences", KeyedArchiveWriter::ref(card)}})}}));

    ASSERT_TRUE(object);
    ASSERT_EQ(object->userCard.size(), 1u);
    EXPECT_EQ(object->userCard.at("kept").intValue(), 1);
    // What is kept can be stored: the card's text is JSON.
    EXPECT_EQ(dictionaryJson(object->userCard), R"({"kept":1})");
}

TEST_F(LegacyArchive, IntegersAboveTheSignedRangeAreNumbersOrLeftOut) {
    constexpr uint64_t top = std::numeric_limits<uint64_t>::max();
    const Index card = preferences({{"twoTo63", writer.wideInteger(uint64_t{1} << 63)},
                                    {"highest", writer.wideInteger(top - 2047)},  // 2^64 - 2048
                                    {"inexact", writer.wideInteger((uint64_t{1} << 63) + 1)},
                                    {"max", writer.wideInteger(top)},
                                    {"small", writer.wideInteger(7)},
                                    {"minusOne", writer.integer(-1)}});
    const auto object = read(root(
        "u1",
        {{"u1", user("u1", {{"playerPreferences", KeyedArchiveWriter::ref(card)},
                            {"level", KeyedArchiveWriter::ref(writer.wideInteger(top))},
                            {"tutorCompletedSteps", KeyedArchiveWriter::ref(writer.list(
                                                        {writer.integer(1), writer.wideInteger(top)}))}})}}));

    ASSERT_TRUE(object);
    ASSERT_EQ(object->userCard.size(), 4u);
    EXPECT_EQ(object->userCard.at("twoTo63").doubleValue(), 0x1p63);
    EXPECT_EQ(object->userCard.at("highest").doubleValue(), 0x1p64 - 2048);
    EXPECT_EQ(object->userCard.at("small").intValue(), 7);
    EXPECT_EQ(object->userCard.at("minusOne").intValue(), -1);
    // Not an integer of the record's kind: the fallbacks of a mistyped field.
    EXPECT_EQ(object->level, 0);
    EXPECT_TRUE(object->tutorCompletedSteps.empty());
}

TEST_F(LegacyArchive, TheActiveUserIsFoundByCanonicalEquality) {
    const std::string decomposed = "e\u0301";
    const std::string precomposed = "\u00e9";
    auto object = read(root(decomposed, {{"a", user("a")}, {precomposed, user("accented")}}));
    ASSERT_TRUE(object);
    EXPECT_EQ(object->userId, "accented");

    // Bytes that are the same win over a canonical equal.
    object = read(root(precomposed, {{decomposed, user("other")}, {precomposed, user("same")}}));
    ASSERT_TRUE(object);
    EXPECT_EQ(object->userId, "same");
}

TEST_F(LegacyArchive, NoActiveUserOrAnotherRootGivesNothing) {
    EXPECT_FALSE(read(root("u9", {{"u1", user("u1")}})));
    EXPECT_FALSE(read(root("u1", {})));
    EXPECT_FALSE(read(writer.object("Settings", {})));
    EXPECT_FALSE(read(writer.string("UsersStorages")));
    // One value that is no user empties the whole map.
    EXPECT_FALSE(read(root("u1", {{"u1", user("u1")}, {"u2", writer.string("not a user")}})));
}

TEST_F(LegacyArchive, TheArchiveIsResolvedAsAGraph) {
    // One object shared by two users is one decoded object; the keyed collection keeps its pairs.
    const Index shared = preferences({{"k", writer.integer(1)}});
    const Index rootIndex =
        root("a", {{"a", user("a", {{"playerPreferences", KeyedArchiveWriter::ref(shared)}})},
                   {"b", user("b", {{"playerPreferences", KeyedArchiveWriter::ref(shared)}})}});
    const ArchivedRef top = KeyedUnarchiver::topLevelObject(writer.bytes(rootIndex));
    KeyedDecoder decoder;
    const auto storages = decoder.decode<UsersStoragesMigration>(top);
    ASSERT_TRUE(storages);
    ASSERT_EQ(storages->dataStorages.size(), 2u);
    EXPECT_EQ(storages->dataStorages.at("a")->playerPreferences,
              storages->dataStorages.at("b")->playerPreferences);
    EXPECT_EQ(storages->activeUserId, "a");
}

// A binary property list written byte by byte: `count` arrays, each referring `fanOut` times to the next,
// the last one referring to a final boolean.
std::string chainedArrays(uint32_t count, uint8_t fanOut) {
    std::string bytes = "bplist00";
    std::vector<uint32_t> offsets;
    for (uint32_t index = 0; index < count; ++index) {
        offsets.push_back(static_cast<uint32_t>(bytes.size()));
        bytes += static_cast<char>(0xA0 | fanOut);
        for (uint8_t reference = 0; reference < fanOut; ++reference) {
            const uint32_t next = index + 1;
            for (int shift = 24; shift >= 0; shift -= 8) {
                bytes += static_cast<char>((next >> shift) & 0xFF);
            }
        }
    }
    offsets.push_back(static_cast<uint32_t>(bytes.size()));
    bytes += '\x08';
    const auto tableOffset = static_cast<uint64_t>(bytes.size());
    const auto bigEndian = [&bytes](uint64_t value, int size) {
        for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) {
            bytes += static_cast<char>((value >> shift) & 0xFF);
        }
    };
    for (uint32_t offset : offsets) {
        bigEndian(offset, 4);
    }
    bytes += std::string(6, '\0');
    bytes += '\x04';  // offset size
    bytes += '\x04';  // reference size
    bigEndian(offsets.size(), 8);
    bigEndian(0, 8);
    bigEndian(tableOffset, 8);
    return bytes;
}

TEST(BinaryPlistBounds, MeasuresTheTreeTheParserWouldBuild) {
    const BinaryPlistBounds::Limits limits{64, 1 << 20};
    EXPECT_TRUE(BinaryPlistBounds::check(chainedArrays(10, 2), limits));  // 2^10 nodes
    EXPECT_FALSE(BinaryPlistBounds::check(chainedArrays(20, 2), limits));
    EXPECT_TRUE(BinaryPlistBounds::check(chainedArrays(64, 1), limits));  // the last value 64 levels down
    EXPECT_FALSE(BinaryPlistBounds::check(chainedArrays(65, 1), limits));
    std::string wrongTop = chainedArrays(3, 1);
    wrongTop[wrongTop.size() - 9] = 9;  // the top object beyond the table
    EXPECT_FALSE(BinaryPlistBounds::check(wrongTop, limits));
}

TEST_F(LegacyArchive, MalformedArchivesGiveNothingWithoutCrashing) {
    const std::string valid = writer.bytes(root("u1", {{"u1", user("u1")}}));
    ASSERT_TRUE(SDKMigrationManager::objectFromArchive(valid));
    // Every truncation of a valid archive, and the same bytes with one byte flipped in turn.
    for (std::size_t length = 0; length < valid.size(); ++length) {
        EXPECT_FALSE(SDKMigrationManager::objectFromArchive(valid.substr(0, length))) << length;
    }
    for (std::size_t position = 0; position < valid.size(); ++position) {
        std::string flipped = valid;
        flipped[position] = static_cast<char>(flipped[position] ^ 0xFF);
        SDKMigrationManager::objectFromArchive(flipped);
    }
    EXPECT_FALSE(SDKMigrationManager::objectFromArchive("not an archive"));
    EXPECT_FALSE(SDKMigrationManager::objectFromArchive(R"({"$top":{}})"));
}

TEST_F(LegacyArchive, BrokenReferencesCyclesAndDeepNestingFailTheArchive) {
    const auto fails = [](const std::string& bytes) {
        EXPECT_THROW(KeyedUnarchiver::topLevelObject(bytes), KeyedUnarchiver::Error);
        EXPECT_FALSE(SDKMigrationManager::objectFromArchive(bytes));
    };
    {
        KeyedArchiveWriter broken;
        fails(broken.bytes(Index{99}));  // root beyond the table
        fails(broken.bytes(broken.object("UsersStorages", {{"activeUser", KeyedArchiveWriter::ref(1000)}})));
        fails(broken.bytes(broken.add(plist_new_dict())));  // an object without a class
        fails(broken.bytes(plist_new_string("root")));      // a root that is no reference
        const Index unnamedClass = broken.add(plist_new_dict());
        plist_t object = plist_new_dict();
        plist_dict_set_item(object, "$class", KeyedArchiveWriter::ref(unnamedClass));
        fails(broken.bytes(broken.add(object)));
    }
    {
        // A user whose card refers back to the root.
        KeyedArchiveWriter cyclic;
        const Index rootIndex = cyclic.reserve();
        const Index storage =
            cyclic.object("DataStorage", {{"playerPreferences", KeyedArchiveWriter::ref(rootIndex)}});
        cyclic.set(rootIndex,
                   cyclic.objectNode(
                       "UsersStorages",
                       {{"activeUser", KeyedArchiveWriter::ref(cyclic.string("u"))},
                        {"dataStorages", KeyedArchiveWriter::ref(cyclic.dictionary(
                                             std::vector<std::pair<std::string, Index>>{{"u", storage}}))}}));
        fails(cyclic.bytes(rootIndex));
        // A list that holds itself.
        const Index self = cyclic.reserve();
        cyclic.set(self, cyclic.objectNode("NSArray", {{"NS.objects", KeyedArchiveWriter::ref(self)}}));
        fails(cyclic.bytes(self));
    }
    {
        // Lists nested beyond the depth limit, each a table entry of its own.
        KeyedArchiveWriter deep;
        Index inner = deep.integer(1);
        for (std::size_t level = 0; level <= KeyedUnarchiver::maxDepth; ++level) {
            inner = deep.list({inner});
        }
        fails(deep.bytes(inner));
    }
    // Property lists that the parser would unfold beyond memory or recurse into beyond the stack.
    fails(chainedArrays(40, 2));
    fails(chainedArrays(100000, 1));
}

TEST(KeyedDecoderBudget, CopiesOfOneSharedTextAreBounded) {
    KeyedArchiveWriter writer;
    const Index text = writer.string(std::string(1000, 'x'));
    const Index list = writer.list(std::vector<Index>(100, text));
    const Index rootIndex = writer.object("DataStorage", {{"transactionIds", KeyedArchiveWriter::ref(list)}});
    const ArchivedRef top = KeyedUnarchiver::topLevelObject(writer.bytes(rootIndex));
    const auto* object = top->get<ArchivedObject>();
    ASSERT_NE(object, nullptr);

    KeyedDecoder roomy(200 * 1000);
    EXPECT_EQ(roomy.decodeStrings(*object, "transactionIds")->size(), 100u);
    KeyedDecoder tight(50 * 1000);
    EXPECT_THROW(tight.decodeStrings(*object, "transactionIds"), KeyedUnarchiver::Error);
}

}  // namespace
}  // namespace zqb

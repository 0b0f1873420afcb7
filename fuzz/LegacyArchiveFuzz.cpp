// Fuzzes the reader of the earlier library's keyed archive. Half the inputs go in as raw bytes (the size and
// shape checks, the property-list parser behind them, then the object graph); the other half shape an archive
// of the earlier library's classes, written with libplist, whose fields are mostly of their kind but may be
// missing, of another kind or references to anywhere, so that the graph resolution, the class checks, the
// typed decoding and the card conversion are reached on every run.
//
// Checked on every input: no crash, hang or undefined behaviour; a record, when one comes out, holds valid
// UTF-8 texts, a card whose JSON text can be written, and has a printed form.

#include "FuzzCheck.hpp"
#include "foundation/TextUtils.hpp"
#include "migration/SDKMigrationManager.hpp"
#include "support/KeyedArchiveWriter.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using zqb::test::KeyedArchiveWriter;
using Index = KeyedArchiveWriter::Index;

using zqb::fuzz::check;

const char* const kClasses[] = {"UsersStorages", "DataStorage",  "PlayerPreferences", "NSNull",
                                "NSArray",       "NSDictionary", "NSMutableString",   "NSDate"};
const char* const kTexts[] = {"u1", "u2", "", "activeUser", "\xC3\xA9", "\xFF\xFE"};

// The earlier library's archive as the input shapes it: every field is mostly of its kind, sometimes left
// out, and sometimes a value of another kind or a reference anywhere (nil, a class entry, an entry still
// being resolved, or beyond the table).
class ArchiveFromInput {
public:
    explicit ArchiveFromInput(FuzzedDataProvider& input) : input_(input) {}

    std::string bytes() {
        const Index root = writer_.reserve();
        std::vector<std::pair<Index, Index>> users;
        for (int count = input_.ConsumeIntegralInRange(0, 3); count > 0; --count) {
            users.emplace_back(writer_.string(text()), user());
        }
        KeyedArchiveWriter::Fields fields;
        field(fields, "activeUser", [&] {
            return ref(users.empty() || input_.ConsumeBool() ? writer_.string(text()) : users.front().first);
        });
        field(fields, "dataStorages", [&] { return ref(writer_.dictionary(users)); });
        field(fields, "trackingAvailable", [&] { return plist_new_bool(input_.ConsumeBool() ? 1 : 0); });
        writer_.set(
            root, writer_.objectNode(input_.ConsumeIntegralInRange(0, 7) ? "UsersStorages"
                                                                         : input_.PickValueInArray(kClasses),
                                     fields));
        return writer_.bytes(input_.ConsumeIntegralInRange(0, 7) ? root : anywhere());
    }

private:
    static plist_t ref(Index index) { return KeyedArchiveWriter::ref(index); }
    Index anywhere() { return input_.ConsumeIntegralInRange<Index>(0, writer_.size() + 1); }

    // Adds the field made by `typed`, or leaves it out, or puts a value of any kind in its place.
    template <typename Typed>
    void field(KeyedArchiveWriter::Fields& fields, const char* key, Typed typed) {
        switch (input_.ConsumeIntegralInRange(0, 7)) {
            case 0:
                return;
            case 1:
                fields.emplace_back(key, any());
                return;
            default:
                fields.emplace_back(key, typed());
        }
    }

    std::string text() {
        return input_.ConsumeBool() ? std::string(input_.PickValueInArray(kTexts))
                                    : input_.ConsumeRandomLengthString(24);
    }

    double real() {
        const auto bits = input_.ConsumeIntegral<uint64_t>();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    plist_t any() {
        switch (input_.ConsumeIntegralInRange(0, 5)) {
            case 0:
                return plist_new_string(text().c_str());
            case 1:
                return plist_new_uint(input_.ConsumeIntegral<uint64_t>());
            case 2:
                return plist_new_real(real());
            case 3:
                return plist_new_bool(input_.ConsumeBool() ? 1 : 0);
            case 4:
                return plist_new_data("x", 1);
            default:
                return ref(anywhere());
        }
    }

    // A table entry for one card value, of any kind the card may meet.
    Index cardValue() {
        switch (input_.ConsumeIntegralInRange(0, 8)) {
            case 0:
                return writer_.integer(input_.ConsumeIntegral<int64_t>());
            case 1:
                return writer_.string(text());
            case 2:
                return writer_.mutableString(text());
            case 3:
                return writer_.real(real());
            case 4:
                return writer_.boolean(input_.ConsumeBool());
            case 5:
                return writer_.nullObject();
            case 6:
                return writer_.date(real());
            case 7:
                return writer_.list({writer_.integer(1)});
            default:
                return writer_.add(any());
        }
    }

    template <typename Element>
    std::vector<Index> elements(Element element) {
        std::vector<Index> result;
        for (int count = input_.ConsumeIntegralInRange(0, 4); count > 0; --count) {
            result.push_back(input_.ConsumeIntegralInRange(0, 15) ? element() : writer_.add(any()));
        }
        return result;
    }

    Index user() {
        KeyedArchiveWriter::Fields fields;
        field(fields, "level", [&] { return plist_new_uint(input_.ConsumeIntegral<uint64_t>()); });
        field(fields, "userId", [&] { return ref(writer_.string(text())); });
        field(fields, "prevId", [&] { return ref(writer_.mutableString(text())); });
        field(fields, "playerPreferences", [&] {
            KeyedArchiveWriter::Fields preferences;
            field(preferences, "preferences", [&] {
                std::vector<std::pair<Index, Index>> values;
                for (int count = input_.ConsumeIntegralInRange(0, 6); count > 0; --count) {
                    values.emplace_back(writer_.string(text()), cardValue());
                }
                return ref(writer_.dictionary(values));
            });
            return ref(writer_.object("PlayerPreferences", preferences));
        });
        field(fields, "transactionIds",
              [&] { return ref(writer_.list(elements([&] { return writer_.string(text()); }))); });
        field(fields, "tutorCompletedSteps", [&] {
            return ref(
                writer_.list(elements([&] { return writer_.integer(input_.ConsumeIntegral<int64_t>()); })));
        });
        return writer_.object("DataStorage", fields);
    }

    FuzzedDataProvider& input_;
    KeyedArchiveWriter writer_;
};

void checkRecord(const std::optional<zqb::MigrationObject>& object) {
    if (!object) {
        return;
    }
    for (const auto* text : {&object->userId, &object->prevUserId}) {
        check(!*text || zqb::text::isValidUtf8(**text), "identifiers are valid UTF-8");
    }
    for (const auto& id : object->transactionIds) {
        check(zqb::text::isValidUtf8(id), "order ids are valid UTF-8");
    }
    check(object->level.has_value(), "an archived user always has a level");
    check(zqb::dictionaryJson(object->userCard) != "Not a valid JSON", "the card can be stored");
    check(!object->description().empty(), "the record prints");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string bytes =
        input.ConsumeBool() ? input.ConsumeRemainingBytesAsString() : ArchiveFromInput(input).bytes();
    checkRecord(zqb::SDKMigrationManager::objectFromArchive(bytes));
    return 0;
}

// Fuzzes the reading of the engine plug-in's migration file. Half the inputs go in as raw text; the other
// half describe a JSON object with the file's keys and values of every JSON kind, so that each field's rule
// and fallback is reached on every run.
//
// Checked on every input: no crash or undefined behaviour; a record comes out only for a JSON object, its
// identifiers and level are those of the object, and its card can be stored and the record printed. Raw
// inputs go in as file bytes, in any of the encodings the file may have.

#include "FuzzCheck.hpp"
#include "migration/MigrationObject.hpp"
#include "migration/PluginFileText.hpp"
#include "migration/SDKMigrationManager.hpp"
#include "model/JsonSupport.hpp"
#include "model/JsonText.hpp"

#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

namespace {

using Json = nlohmann::ordered_json;

using zqb::fuzz::check;

const char* const kKeys[] = {
    "deviceId", "prevDeviceId", "userId",         "prevUserId",          "trackingAvailable",
    "level",    "userCard",     "transactionIds", "tutorCompletedSteps", "other"};

Json value(FuzzedDataProvider& input, int depth) {
    switch (input.ConsumeIntegralInRange(0, depth < 3 ? 8 : 6)) {
        case 0:
            return nullptr;
        case 1:
            return input.ConsumeBool();
        case 2:
            return input.ConsumeIntegral<int64_t>();
        case 3:
            return input.ConsumeIntegral<uint64_t>();
        case 4: {
            const auto bits = input.ConsumeIntegral<uint64_t>();
            double number;
            std::memcpy(&number, &bits, sizeof number);
            // JSON has no NaN or infinity; a whole number written as a double stands in.
            return std::isfinite(number) ? number : 2.0;
        }
        case 5:
        case 6:
            return input.ConsumeRandomLengthString(16);
        case 7: {
            Json array = Json::array();
            for (int count = input.ConsumeIntegralInRange(0, 4); count > 0; --count) {
                array.push_back(value(input, depth + 1));
            }
            return array;
        }
        default: {
            Json object = Json::object();
            for (int count = input.ConsumeIntegralInRange(0, 4); count > 0; --count) {
                object[input.ConsumeRandomLengthString(8)] = value(input, depth + 1);
            }
            return object;
        }
    }
}

void checkRecord(const std::string& bytes) {
    const auto object = zqb::SDKMigrationManager::objectFromPluginFile(bytes);
    if (!object) {
        return;
    }
    const auto text = zqb::PluginFileText::decode(bytes);
    check(text.has_value(), "only text gives a record");
    std::optional<Json> json;
    try {
        json = zqb::JsonText::parse(zqb::PluginFileText::withLargeNumbersReplaced(*text),
                                    zqb::JsonText::DeepValues::readEmpty);
    } catch (const std::exception&) {
    }
    check(json && json->is_object(), "only an object gives a record");
    const auto found = json->find("userId");
    check(object->userId.has_value() == (found != json->end() && found->is_string()),
          "the user id is the object's");
    const auto level = json->find("level");
    check(object->level.has_value() == (level != json->end() && !level->is_null()),
          "the level is the object's");
    check(zqb::dictionaryJson(object->userCard) != "Not a valid JSON", "the card can be stored");
    check(!object->description().empty(), "the record prints");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        checkRecord(input.ConsumeRemainingBytesAsString());
        return 0;
    }
    Json object = Json::object();
    while (input.remaining_bytes() > 0) {
        object[input.PickValueInArray(kKeys)] = value(input, 0);
    }
    std::string text;
    try {
        text = object.dump();
    } catch (const nlohmann::json::exception&) {
        return 0;  // a generated text that is not UTF-8
    }
    checkRecord(text);
    return 0;
}

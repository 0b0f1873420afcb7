// Fuzzes what a caller's texts and numbers go through before they become an event: the repair at the public
// boundary, the custom-event parameter set, the custom-event rule and the user-id rules, and the JSON of the
// resulting record. Raw (unrepaired) bytes are fed to the rules as well: they must not crash on them either.
//
// Checked on every input: no crash or undefined behaviour; what a rule lets through is non-empty, free of
// control characters and within its length; the record always encodes to JSON that reads back with the same
// name; and every log line is valid UTF-8 when the input was repaired.

#include "FuzzCheck.hpp"
#include "api/CustomEventParametersCopy.hpp"
#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "model/CustomEvent.hpp"
#include "validation/ValidatorRules.hpp"

#include <ZQBAnalytics/ZQBCustomEventParameters.hpp>

#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

using zqb::ValidatorRules;
namespace text = zqb::text;

bool logLinesMustBeValid = false;

using zqb::fuzz::check;

void checkCleanText(const std::string& value, std::size_t maxLength, const char* what) {
    check(!value.empty(), what);
    check(text::isValidUtf8(value), what);
    check(!text::containsControlCharacters(value), what);
    check(text::characterCount(value) <= maxLength, what);
}

void installLogSink() {
    static const bool installed = [] {
        zqb::Logger::setLogLevel(ZQBLogLevel::debug);
        zqb::Logger::setEngineLoggerMessageClosure([](ZQBLogLevel, const std::string& line) {
            if (logLinesMustBeValid) {
                check(text::isValidUtf8(line), "log line is valid UTF-8");
            }
        });
        return true;
    }();
    (void)installed;
}

void checkCustomEvent(const std::string& name, const zqb::AnyCodableMap& parameters, bool repaired) {
    const auto validated = ValidatorRules::validateCustomEvent(name, parameters);
    if (!validated) {
        return;
    }
    checkCleanText(validated->name, 72, "custom event name");
    check(validated->params.size() <= parameters.size(), "no parameter is invented");
    for (const auto& [key, value] : validated->params) {
        checkCleanText(key, 32, "parameter key");
        if (const auto* string = value.stringValue()) {
            checkCleanText(*string, 255, "parameter text");
        }
        if (const auto number = value.doubleValue()) {
            check(std::isfinite(*number), "parameter number is finite");
        }
    }
    if (!repaired) {
        return;
    }
    const zqb::CustomEvent event(1700000000000, 1, 1, validated->name, validated->params);
    const std::string json = event.getJson();
    check(!json.empty(), "the record encodes");
    const auto parsed = nlohmann::json::parse(json, nullptr, false);
    check(!parsed.is_discarded(), "the record's JSON reads back");
    check(parsed.at("name") == validated->name, "the name reads back");
    check(!parameters.empty() || !parsed.contains("parameters"), "no parameters without any");
}

void checkUserIds(const std::string& first, const std::string& second) {
    if (const auto id = ValidatorRules::validateUserId("SetUserId", first)) {
        if (first.empty()) {
            check(id->empty(), "the empty id stays empty");
        } else {
            checkCleanText(*id, 64, "user id");
        }
    }
    if (const auto ids = ValidatorRules::validateReplaceUserId("replaceUserId", first, second)) {
        checkCleanText(ids->prevUserName, 64, "previous user id");
        checkCleanText(ids->userName, 64, "new user id");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    installLogSink();
    FuzzedDataProvider input(data, size);
    const std::string rawName = input.ConsumeRandomLengthString(400);
    const std::string rawUserId = input.ConsumeRandomLengthString(200);

    // As the public interface passes them: repaired texts and a parameter set of at most 20 entries.
    ZQBCustomEventParameters publicParameters;
    zqb::AnyCodableMap rawParameters;
    while (input.remaining_bytes() > 0) {
        const std::string key = input.ConsumeRandomLengthString(80);
        switch (input.ConsumeIntegralInRange(0, 3)) {
            case 0: {
                const bool value = input.ConsumeBool();
                publicParameters.add(key, value);
                rawParameters.insertOrAssign(key, zqb::AnyCodable(value));
                break;
            }
            case 1: {
                const auto value = input.ConsumeIntegral<int64_t>();
                publicParameters.add(key, value);
                rawParameters.insertOrAssign(key, zqb::AnyCodable(value));
                break;
            }
            case 2: {
                // Every bit pattern: NaNs and infinities included.
                const auto bits = input.ConsumeIntegral<uint64_t>();
                double value;
                std::memcpy(&value, &bits, sizeof value);
                publicParameters.add(key, value);
                rawParameters.insertOrAssign(key, zqb::AnyCodable(value));
                break;
            }
            default: {
                const std::string value = input.ConsumeRandomLengthString(400);
                publicParameters.add(key, value);
                rawParameters.insertOrAssign(key, zqb::AnyCodable(value));
                break;
            }
        }
    }
    check(publicParameters.getAllParameters().size() <= 20, "the parameter set keeps its limit");

    logLinesMustBeValid = true;
    checkCustomEvent(text::repairUtf8(rawName), zqb::customEventParametersCopy(publicParameters).expand(),
                     true);
    checkUserIds(text::repairUtf8(rawUserId), text::repairUtf8(rawName));

    logLinesMustBeValid = false;
    checkCustomEvent(rawName, rawParameters, false);
    checkUserIds(rawUserId, rawName);
    return 0;
}

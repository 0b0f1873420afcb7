#pragma once

#include "migration/ArchivedValue.hpp"
#include "migration/KeyedUnarchiver.hpp"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zqb {

// Typed reads of the fields of unarchived objects, as the legacy classes decode themselves. A read gives
// nothing when the field is missing or holds another kind; a list or keyed collection is of a kind only when
// every element is.
//
// One decoder serves one archive. Each archived object is decoded once and then shared, as the archive
// shares it; and what the reads copy out (texts by their length, other elements by a fixed amount) is
// counted against a budget. An archive may refer to one long text or list from thousands of places; beyond
// the budget the reads throw `KeyedUnarchiver::Error` and the archive counts as unreadable.
class KeyedDecoder {
public:
    static constexpr std::size_t defaultBudget = 16 * 1024 * 1024;

    explicit KeyedDecoder(std::size_t budget = defaultBudget) : remaining_(budget) {}

    std::optional<std::string> decodeString(const ArchivedObject& object, const std::string& key);
    std::optional<int64_t> decodeInteger(const ArchivedObject& object, const std::string& key) const;
    std::optional<bool> decodeBool(const ArchivedObject& object, const std::string& key) const;
    std::optional<std::vector<std::string>> decodeStrings(const ArchivedObject& object,
                                                          const std::string& key);
    std::optional<std::vector<int64_t>> decodeIntegers(const ArchivedObject& object, const std::string& key);
    // A keyed collection with text keys; the values stay as archived (their texts are counted here, as the
    // caller may copy them).
    std::optional<std::map<std::string, ArchivedRef>> decodeDictionary(const ArchivedObject& object,
                                                                       const std::string& key);

    // An archived object of the class archived as `T::archivedClassName`, decoded by `T(decoder, object)`;
    // null for any other value.
    template <typename T>
    std::shared_ptr<const T> decode(const ArchivedRef& value) {
        const auto* object = value ? value->get<ArchivedObject>() : nullptr;
        if (object == nullptr || object->className != T::archivedClassName) {
            return nullptr;
        }
        auto& slot = decoded_[value.get()];
        if (!slot) {
            slot = std::make_shared<const T>(*this, *object);
        }
        return std::static_pointer_cast<const T>(slot);
    }

    template <typename T>
    std::shared_ptr<const T> decodeObject(const ArchivedObject& object, const std::string& key) {
        return decode<T>(object.field(key));
    }

    // A keyed collection with text keys whose values are all objects of `T`'s archived class.
    template <typename T>
    std::optional<std::map<std::string, std::shared_ptr<const T>>> decodeObjects(const ArchivedObject& object,
                                                                                 const std::string& key) {
        const auto pairs = textKeyedPairs(object, key);
        if (!pairs) {
            return std::nullopt;
        }
        std::map<std::string, std::shared_ptr<const T>> result;
        for (const auto& [name, value] : *pairs) {
            auto decoded = decode<T>(value);
            if (!decoded) {
                return std::nullopt;
            }
            result.insert_or_assign(*name, std::move(decoded));
        }
        return result;
    }

private:
    // The pairs of a keyed collection whose keys are all texts (counted against the budget).
    std::optional<std::vector<std::pair<const std::string*, ArchivedRef>>> textKeyedPairs(
        const ArchivedObject& object, const std::string& key);
    void spend(std::size_t amount);

    std::size_t remaining_;
    std::unordered_map<const ArchivedValue*, std::shared_ptr<const void>> decoded_;
};

}  // namespace zqb

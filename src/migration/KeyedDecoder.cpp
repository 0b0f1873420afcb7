#include "migration/KeyedDecoder.hpp"

namespace zqb {
namespace {

// What an element other than a text costs the budget: about what holding it costs.
constexpr std::size_t kElementCost = 16;

}  // namespace

void KeyedDecoder::spend(std::size_t amount) {
    if (amount > remaining_) {
        remaining_ = 0;
        throw KeyedUnarchiver::Error("archive decodes into more than the budget");
    }
    remaining_ -= amount;
}

std::optional<std::string> KeyedDecoder::decodeString(const ArchivedObject& object, const std::string& key) {
    const ArchivedRef value = object.field(key);
    const auto* text = value ? value->get<std::string>() : nullptr;
    if (text == nullptr) {
        return std::nullopt;
    }
    spend(text->size() + kElementCost);
    return *text;
}

std::optional<int64_t> KeyedDecoder::decodeInteger(const ArchivedObject& object,
                                                   const std::string& key) const {
    const ArchivedRef value = object.field(key);
    const auto* number = value ? value->get<int64_t>() : nullptr;
    return number ? std::optional<int64_t>(*number) : std::nullopt;
}

std::optional<bool> KeyedDecoder::decodeBool(const ArchivedObject& object, const std::string& key) const {
    const ArchivedRef value = object.field(key);
    const auto* flag = value ? value->get<bool>() : nullptr;
    return flag ? std::optional<bool>(*flag) : std::nullopt;
}

std::optional<std::vector<std::string>> KeyedDecoder::decodeStrings(const ArchivedObject& object,
                                                                    const std::string& key) {
    const ArchivedRef value = object.field(key);
    const auto* list = value ? value->get<ArchivedValue::List>() : nullptr;
    if (list == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> result;
    for (const ArchivedRef& element : *list) {
        const auto* text = element->get<std::string>();
        if (text == nullptr) {
            return std::nullopt;
        }
        spend(text->size() + kElementCost);
        result.push_back(*text);
    }
    return result;
}

std::optional<std::vector<int64_t>> KeyedDecoder::decodeIntegers(const ArchivedObject& object,
                                                                 const std::string& key) {
    const ArchivedRef value = object.field(key);
    const auto* list = value ? value->get<ArchivedValue::List>() : nullptr;
    if (list == nullptr) {
        return std::nullopt;
    }
    std::vector<int64_t> result;
    for (const ArchivedRef& element : *list) {
        const auto* number = element->get<int64_t>();
        if (number == nullptr) {
            return std::nullopt;
        }
        spend(kElementCost);
        result.push_back(*number);
    }
    return result;
}

std::optional<std::vector<std::pair<const std::string*, ArchivedRef>>> KeyedDecoder::textKeyedPairs(
    const ArchivedObject& object, const std::string& key) {
    const ArchivedRef value = object.field(key);
    const auto* pairs = value ? value->get<ArchivedValue::Pairs>() : nullptr;
    if (pairs == nullptr) {
        return std::nullopt;
    }
    std::vector<std::pair<const std::string*, ArchivedRef>> result;
    result.reserve(pairs->size());
    for (const auto& [name, element] : *pairs) {
        const auto* text = name->get<std::string>();
        if (text == nullptr) {
            return std::nullopt;
        }
        spend(text->size() + kElementCost);
        result.emplace_back(text, element);
    }
    return result;
}

std::optional<std::map<std::string, ArchivedRef>> KeyedDecoder::decodeDictionary(const ArchivedObject& object,
                                                                                 const std::string& key) {
    const auto pairs = textKeyedPairs(object, key);
    if (!pairs) {
        return std::nullopt;
    }
    std::map<std::string, ArchivedRef> result;
    for (const auto& [name, element] : *pairs) {
        if (const auto* text = element->get<std::string>()) {
            spend(text->size());
        }
        result.insert_or_assign(*name, element);
    }
    return result;
}

}  // namespace zqb

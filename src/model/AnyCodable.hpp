#pragma once

#include "model/JsonSupport.hpp"

#include <nlohmann/json.hpp>

#include <any>
#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace zqb {

class AnyCodable;

// The map kind of a dynamic value: String keys, each held once (canonically equivalent keys are one key),
// in the order they were first inserted. The order carries no meaning; keeping it makes re-encoded texts
// read like the texts they came from.
class AnyCodableMap {
public:
    using Entry = std::pair<std::string, AnyCodable>;
    using const_iterator = std::vector<Entry>::const_iterator;

    AnyCodableMap() = default;
    // When a key occurs more than once, the first pair wins.
    AnyCodableMap(std::initializer_list<Entry> entries);

    // Adds the pair unless the key is already held; answers whether it was added.
    bool insert(std::string key, AnyCodable value);
    // Adds the pair or replaces the value held under the key.
    void insertOrAssign(std::string key, AnyCodable value);

    const AnyCodable* find(std::string_view key) const;
    AnyCodable* find(std::string_view key);
    bool contains(std::string_view key) const { return find(key) != nullptr; }

    // Defined below, once `AnyCodable` is complete (some compilers check the entry type here already).
    // Room for this many pairs, for a caller that knows how many it adds.
    void reserve(std::size_t count);
    std::size_t size() const;
    bool empty() const;
    const_iterator begin() const;
    const_iterator end() const;

private:
    std::vector<Entry> entries_;
};

using AnyCodableList = std::vector<AnyCodable>;

// A JSON value whose kind is known only at run time: custom-event parameters, exclusion values, the
// parsed events of a report package. It reads and writes JSON, compares by value and prints itself.
//
// Each integer width is a kind of its own (an Int 1 and an Int32 1 are unequal), as are Float and Double.
// Values read from JSON are only ever null, Bool, Int, UInt, Double, String, list or map.
class AnyCodable {
public:
    enum class Kind {
        null,
        boolean,
        int_,
        int8,
        int16,
        int32,
        int64,
        uint,
        uint8,
        uint16,
        uint32,
        uint64,
        float_,
        double_,
        string,
        date,
        url,
        list,
        map,
        opaque,
    };

    // A point in time; written as seconds since 2001-01-01 00:00:00 UTC.
    struct Date {
        double timeIntervalSince1970 = 0;
    };
    // A web address; written as its absolute text.
    struct Url {
        std::string absoluteString;
    };
    // A value of a kind the dynamic value cannot write: it is held and printed, never encoded or equal.
    struct Opaque {
        std::any value;
        std::string description;
    };

    using List = AnyCodableList;
    using Map = AnyCodableMap;

    AnyCodable() = default;
    AnyCodable(std::nullptr_t) {}
    AnyCodable(std::nullopt_t) {}
    AnyCodable(bool value) : kind_(Kind::boolean), storage_(value) {}
    // Integer constants are Int (signed) or UInt (unsigned); the sized kinds have their own factories.
    template <std::signed_integral T>
    AnyCodable(T value) : kind_(Kind::int_), storage_(static_cast<int64_t>(value)) {}
    template <std::unsigned_integral T>
    requires(!std::same_as<T, bool>) AnyCodable(T value)
        : kind_(Kind::uint), storage_(static_cast<uint64_t>(value)) {}
    AnyCodable(float value) : kind_(Kind::float_), storage_(value) {}
    AnyCodable(double value) : kind_(Kind::double_), storage_(value) {}
    AnyCodable(const char* value) : kind_(Kind::string), storage_(std::string(value)) {}
    AnyCodable(std::string value) : kind_(Kind::string), storage_(std::move(value)) {}
    AnyCodable(std::string_view value) : kind_(Kind::string), storage_(std::string(value)) {}
    AnyCodable(Date value) : kind_(Kind::date), storage_(value) {}
    AnyCodable(Url value) : kind_(Kind::url), storage_(std::move(value)) {}
    AnyCodable(List value) : kind_(Kind::list), storage_(std::move(value)) {}
    AnyCodable(Map value) : kind_(Kind::map), storage_(std::move(value)) {}
    // An optional value: nothing becomes null.
    template <typename T>
    AnyCodable(const std::optional<T>& value) : AnyCodable() {
        if (value) {
            *this = AnyCodable(*value);
        }
    }
    // A value of one of several types holds the one it has.
    template <typename... Ts>
    AnyCodable(const std::variant<Ts...>& value)
        : AnyCodable(std::visit([](const auto& held) { return AnyCodable(held); }, value)) {}

    static AnyCodable int8(int8_t value) { return AnyCodable(Kind::int8, int64_t{value}); }
    static AnyCodable int16(int16_t value) { return AnyCodable(Kind::int16, int64_t{value}); }
    static AnyCodable int32(int32_t value) { return AnyCodable(Kind::int32, int64_t{value}); }
    static AnyCodable int64(int64_t value) { return AnyCodable(Kind::int64, value); }
    static AnyCodable uint8(uint8_t value) { return AnyCodable(Kind::uint8, uint64_t{value}); }
    static AnyCodable uint16(uint16_t value) { return AnyCodable(Kind::uint16, uint64_t{value}); }
    static AnyCodable uint32(uint32_t value) { return AnyCodable(Kind::uint32, uint64_t{value}); }
    static AnyCodable uint64(uint64_t value) { return AnyCodable(Kind::uint64, value); }
    static AnyCodable opaque(std::any value, std::string description) {
        return AnyCodable(Kind::opaque, Opaque{std::move(value), std::move(description)});
    }
    // A list of values, and a map from (key, value) pairs in which the first pair with a key wins.
    static AnyCodable list(std::initializer_list<AnyCodable> values) { return AnyCodable(List(values)); }
    static AnyCodable map(std::initializer_list<Map::Entry> entries) { return AnyCodable(Map(entries)); }

    Kind kind() const { return kind_; }
    bool isNull() const { return kind_ == Kind::null; }

    // Typed reads; each answers only for its own kinds.
    std::optional<bool> boolValue() const;
    // Any of the signed integer kinds.
    std::optional<int64_t> signedValue() const;
    // Any of the unsigned integer kinds.
    std::optional<uint64_t> unsignedValue() const;
    std::optional<float> floatValue() const;
    std::optional<double> doubleValue() const;
    const std::string* stringValue() const;
    std::optional<Date> dateValue() const;
    const Url* urlValue() const;
    const List* listValue() const;
    const Map* mapValue() const;
    const Opaque* opaqueValue() const;

    // "nil" for null, otherwise the held value's own text: integers in decimal, "true"/"false", a String
    // as it is, a Double in its shortest round-trip form with ".0" on whole values.
    std::string description() const;
    // "AnyCodable(" + the held value's debug text (a String in double quotes) + ")".
    std::string debugDescription() const;

    // Reads one JSON value by the decoding order: null, Bool, Int, UInt, Double, String, list, map. A
    // number is never a Bool; "5" and "5.0" are both Int 5. Throws DecodingError for anything else.
    static AnyCodable fromJson(const nlohmann::ordered_json& json);
    // Throws JsonText::EncodingError for an opaque value or a non-finite number anywhere inside.
    nlohmann::ordered_json toJson() const;

    // Same kind and equal value; Strings by canonical equivalence, Floats and Doubles by IEEE comparison.
    // Dates, URLs and opaque values equal nothing, not even themselves.
    friend bool operator==(const AnyCodable& a, const AnyCodable& b);

private:
    using Storage = std::variant<std::monostate, bool, int64_t, uint64_t, float, double, std::string, Date,
                                 Url, List, Map, Opaque>;

    template <typename T>
    AnyCodable(Kind kind, T value) : kind_(kind), storage_(std::move(value)) {}

    Kind kind_ = Kind::null;
    Storage storage_;
};

inline void AnyCodableMap::reserve(std::size_t count) {
    entries_.reserve(count);
}
inline std::size_t AnyCodableMap::size() const {
    return entries_.size();
}
inline bool AnyCodableMap::empty() const {
    return entries_.empty();
}
inline AnyCodableMap::const_iterator AnyCodableMap::begin() const {
    return entries_.begin();
}
inline AnyCodableMap::const_iterator AnyCodableMap::end() const {
    return entries_.end();
}

void to_json(nlohmann::ordered_json& json, const AnyCodable& value);
void from_json(const nlohmann::ordered_json& json, AnyCodable& value);
// A map goes into a tree as the JSON object it stands for (never as a list of pairs).
void to_json(nlohmann::ordered_json& json, const AnyCodableMap& map);
void to_json(nlohmann::ordered_json& json, const AnyCodableList& list);

// Wraps each value of a String-keyed dictionary as it is, under its own key; nothing is dropped or checked.
template <typename Dictionary>
AnyCodableMap toAnyCodable(const Dictionary& dictionary) {
    AnyCodableMap result;
    for (const auto& [key, value] : dictionary) {
        result.insert(std::string(key), AnyCodable(value));
    }
    return result;
}

// Parses a JSON text into its top-level object. A top-level array gives an empty object silently; text
// that does not parse (or a bare scalar) logs an ERROR and gives an empty object. Never throws.
nlohmann::ordered_json toDictionary(std::string_view text);

}  // namespace zqb

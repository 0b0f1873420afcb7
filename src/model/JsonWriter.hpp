#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace zqb {

class AnyCodable;

// A map of currency (or item) name to amount, as balances, prices in currency and resources are reported.
// Its JSON members and description lines come in key order; readers give that order no meaning.
using IntMap = std::map<std::string, int64_t>;

// What a record writes its JSON to, value by value in its key order: a tree (`JsonTreeWriter`), for nesting
// the record in a larger tree and pretty-printing it, or compact text at once (`JsonTextWriter`), which is
// how every stored event is written. A record lists its members in one place, whichever form is made.
//
// Inside an object each value follows its `key`; inside an array values simply follow one another. A value
// that JSON cannot carry (a NaN or an infinite double, text that is not UTF-8, a dynamic value of an unknown
// kind) throws, failing the whole encoding.
class JsonWriter {
public:
    virtual ~JsonWriter() = default;

    virtual void key(std::string_view name) = 0;
    virtual void string(std::string_view value) = 0;
    virtual void integer(int64_t value) = 0;
    virtual void boolean(bool value) = 0;
    virtual void number(double value) = 0;
    virtual void null() = 0;
    // A dynamic value, as its own `toJson()` writes it.
    virtual void value(const AnyCodable& value) = 0;
    // A value already built as a tree.
    virtual void tree(const nlohmann::ordered_json& value) = 0;
    virtual void beginObject() = 0;
    virtual void endObject() = 0;
    virtual void beginArray() = 0;
    virtual void endArray() = 0;

    // A member of the open object, written as nlohmann writes the same value converted to a tree.
    void member(std::string_view name, std::string_view value);
    // Spelled out: a literal would otherwise take the boolean overload.
    void member(std::string_view name, const char* value) { member(name, std::string_view(value)); }
    void member(std::string_view name, int64_t value);
    void member(std::string_view name, bool value);
    void member(std::string_view name, double value);
    void member(std::string_view name, const std::vector<std::string>& value);
    void member(std::string_view name, const IntMap& value);
    void member(std::string_view name, const std::map<std::string, IntMap>& value);

    // A member left out when it has no value.
    template <typename T>
    void memberIfPresent(std::string_view name, const std::optional<T>& value) {
        if (value) {
            member(name, *value);
        }
    }

    // The experiment fields close every record that has them, "inProgress" then "inExperiments", each left
    // out when absent.
    void experimentFields(const std::optional<std::vector<std::string>>& inProgress,
                          const std::optional<std::string>& inExperiments);

protected:
    JsonWriter() = default;
    JsonWriter(const JsonWriter&) = default;
    JsonWriter& operator=(const JsonWriter&) = default;

private:
    void object(const IntMap& value);
};

}  // namespace zqb

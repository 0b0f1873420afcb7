#pragma once

#include "model/JsonWriter.hpp"

#include <string>

namespace zqb {

// Writes compact JSON text straight into a string, without building a tree: the bytes `JsonText::write`
// gives for the tree of the same values (members in the order written, strings and numbers as
// `JsonText::appendString` and `appendNumber` give them). Every event is stored through here. A value that
// cannot be written throws `JsonText::EncodingError`; the text is then incomplete, and a caller that needs
// the failure described writes the tree instead.
class JsonTextWriter final : public JsonWriter {
public:
    explicit JsonTextWriter(std::string& out) : out_(out) {}

    void key(std::string_view name) override;
    void string(std::string_view value) override;
    void integer(int64_t value) override;
    void boolean(bool value) override;
    void number(double value) override;
    void null() override;
    void value(const AnyCodable& value) override;
    void tree(const nlohmann::ordered_json& value) override;
    void beginObject() override;
    void endObject() override;
    void beginArray() override;
    void endArray() override;

private:
    // Before each value and key: the comma that separates it from the value before it in its container.
    void separate();
    void unsignedInteger(uint64_t value);
    void end(char closing);

    std::string& out_;
    // One byte per open container, innermost last: 1 once it holds a value.
    std::string filled_;
    // A key was written and its value is next.
    bool afterKey_ = false;
};

}  // namespace zqb

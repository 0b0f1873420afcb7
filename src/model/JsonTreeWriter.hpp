#pragma once

#include "model/JsonWriter.hpp"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace zqb {

// Builds the tree of what is written: the form in which a record nests in a larger tree, is written
// pretty for the log, or names the value and the place that made its encoding fail.
class JsonTreeWriter final : public JsonWriter {
public:
    JsonTreeWriter() = default;

    // The tree written, null when nothing was.
    nlohmann::ordered_json take() { return std::move(root_); }

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
    // Puts `value` into the innermost open container, under the pending key in an object, and answers where
    // it went. Only the innermost container receives values, so pointers to the outer ones stay valid.
    nlohmann::ordered_json* place(nlohmann::ordered_json&& value);

    nlohmann::ordered_json root_;
    std::vector<nlohmann::ordered_json*> open_;
    std::string key_;
};

}  // namespace zqb

#include "model/JsonTreeWriter.hpp"

#include "model/AnyCodable.hpp"

#include <stdexcept>
#include <utility>

namespace zqb {
namespace {

using Json = nlohmann::ordered_json;

}  // namespace

Json* JsonTreeWriter::place(Json&& value) {
    if (open_.empty()) {
        root_ = std::move(value);
        return &root_;
    }
    Json& container = *open_.back();
    if (container.is_array()) {
        container.push_back(std::move(value));
        return &container.back();
    }
    Json& slot = container[key_];
    slot = std::move(value);
    return &slot;
}

void JsonTreeWriter::key(std::string_view name) {
    key_.assign(name);
}

void JsonTreeWriter::string(std::string_view value) {
    place(Json(std::string(value)));
}

void JsonTreeWriter::integer(int64_t value) {
    place(Json(value));
}

void JsonTreeWriter::boolean(bool value) {
    place(Json(value));
}

// Held as it is: a NaN or an infinity fails when the tree is written, as it always has.
void JsonTreeWriter::number(double value) {
    place(Json(value));
}

void JsonTreeWriter::null() {
    place(Json(nullptr));
}

void JsonTreeWriter::value(const AnyCodable& value) {
    place(value.toJson());
}

void JsonTreeWriter::tree(const Json& value) {
    place(Json(value));
}

void JsonTreeWriter::beginObject() {
    open_.push_back(place(Json::object()));
}

void JsonTreeWriter::endObject() {
    if (open_.empty() || !open_.back()->is_object()) {
        throw std::logic_error("JsonTreeWriter: no object to end");
    }
    open_.pop_back();
}

void JsonTreeWriter::beginArray() {
    open_.push_back(place(Json::array()));
}

void JsonTreeWriter::endArray() {
    if (open_.empty() || !open_.back()->is_array()) {
        throw std::logic_error("JsonTreeWriter: no array to end");
    }
    open_.pop_back();
}

}  // namespace zqb

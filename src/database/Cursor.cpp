#include "database/Cursor.hpp"

#include "foundation/TextUtils.hpp"

#include <sqlite3.h>

namespace zqb {

std::string Cursor::text(int index) const {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(handle_, index));
    const int size = sqlite3_column_bytes(handle_, index);
    if (bytes == nullptr || size <= 0) {
        return std::string();
    }
    // A file written by anything else may hold malformed UTF-8; repair it here so that no later JSON
    // encoding of the text can fail on it.
    const std::string_view view(bytes, static_cast<std::size_t>(size));
    return text::isValidUtf8(view) ? std::string(view) : text::repairUtf8(view);
}

std::optional<std::string> Cursor::operator[](int index) const {
    if (index < 0 || index >= columnCount_ || sqlite3_column_type(handle_, index) != SQLITE_TEXT) {
        return std::nullopt;
    }
    return text(index);
}

OptionalSQLiteValue Cursor::value(int index) const {
    OptionalSQLiteValue result;
    if (index < 0 || index >= columnCount_) {
        return result;
    }
    switch (sqlite3_column_type(handle_, index)) {
        case SQLITE_INTEGER:
            result.emplace(std::in_place_type<int64_t>, sqlite3_column_int64(handle_, index));
            break;
        case SQLITE_FLOAT:
            result.emplace(std::in_place_type<double>, sqlite3_column_double(handle_, index));
            break;
        case SQLITE_TEXT:
            result.emplace(std::in_place_type<std::string>, text(index));
            break;
        default:
            break;
    }
    return result;
}

SQLiteRow Cursor::row() const {
    SQLiteRow row;
    row.reserve(static_cast<std::size_t>(columnCount_));
    for (int index = 0; index < columnCount_; ++index) {
        row.push_back(value(index));
    }
    return row;
}

}  // namespace zqb

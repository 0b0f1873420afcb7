#include "database/SQLiteError.hpp"

#include "foundation/Logger.hpp"

#include <sqlite3.h>

namespace zqb {

SQLiteError::SQLiteError(std::string message, int code, std::optional<std::string> statement)
    : std::runtime_error(descriptionForError(message, code, statement)),
      message_(std::move(message)),
      code_(code),
      statement_(std::move(statement)) {}

std::string SQLiteError::descriptionForError(const std::string& message, int code,
                                             const std::optional<std::string>& statement) {
    std::string text = message;
    if (statement) {
        text += " (" + *statement + ")";
    }
    text += " (code: " + std::to_string(code) + ")";
    return text;
}

bool SQLiteError::isSuccessCode(int code) {
    return code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE;
}

void logDatabaseError(const std::string& prefix, const std::exception& error) {
    Logger::writeLog(ZQBLogLevel::error, "[Database Module] " + prefix + error.what());
}

}  // namespace zqb

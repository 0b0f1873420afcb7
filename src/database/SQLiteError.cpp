#include "database/SQLiteError.hpp"

#include "foundation/Logger.hpp"

#include <sqlite3.h>

namespace zqb {

SQLiteError::SQLiteError(std::string message, int code, std::optional<std::string> statement,
                         std::optional<std::string> reason)
    : std::runtime_error(descriptionForError(message, code, statement, reason)),
      message_(std::move(message)),
      code_(code),
      statement_(std::move(statement)),
      reason_(std::move(reason)) {}

std::string SQLiteError::descriptionForError(const std::string& message, int code,
                                             const std::optional<std::string>& statement,
                                             const std::optional<std::string>& reason) {
    std::string text = message;
    if (statement) {
        text += " (" + *statement + ")";
    }
    text += " (code: " + std::to_string(code) + ")";
    if (reason) {
        text += ": " + *reason;
    }
    return text;
}

bool SQLiteError::isSuccessCode(int code) {
    return code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE;
}

void logDatabaseError(std::string_view prefix, const std::exception& error) noexcept {
    logDatabaseError(prefix, error.what());
}

void logDatabaseError(std::string_view prefix, std::string_view failure) noexcept {
    // Called where a failure is being handled: a line that cannot be built for want of memory is left out
    // rather than thrown from there.
    try {
        std::string line = "[Database Module] ";
        line.append(prefix).append(failure);
        Logger::writeLog(ZQBLogLevel::error, line);
    } catch (...) {
    }
}

}  // namespace zqb

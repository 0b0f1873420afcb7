#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zqb {

// A failure of the SQLite layer: a message, the SQLite result code and, when known, the SQL text of the
// statement that failed and SQLite's own text for the failure. `what()` gives the printed form that the
// database module logs.
class SQLiteError : public std::runtime_error {
public:
    SQLiteError(std::string message, int code, std::optional<std::string> statement = std::nullopt,
                std::optional<std::string> reason = std::nullopt);

    const std::string& message() const { return message_; }
    int code() const { return code_; }
    const std::optional<std::string>& statement() const { return statement_; }
    // What SQLite said, where the message is not already its text.
    const std::optional<std::string>& reason() const { return reason_; }

    // "<message> (code: <code>)", or "<message> (<sql>) (code: <code>)" with a statement; then ": <reason>"
    // with a reason. What comes before the reason is the same with or without one: readers of the log may
    // match it.
    static std::string descriptionForError(const std::string& message, int code,
                                           const std::optional<std::string>& statement,
                                           const std::optional<std::string>& reason = std::nullopt);
    std::string description() const { return what(); }

    // SQLITE_OK, SQLITE_ROW and SQLITE_DONE.
    static bool isSuccessCode(int code);

private:
    std::string message_;
    int code_;
    std::optional<std::string> statement_;
    std::optional<std::string> reason_;
};

// How the database module's ERROR lines begin, after "[Database Module] ".
inline constexpr const char* kInsertFailure = "Error in inserting: ";
inline constexpr const char* kDeleteFailure = "Error in delete: ";
inline constexpr const char* kQueryFailure = "Error in query: ";

// Writes "[Database Module] <prefix><what the error says>" as an ERROR. Never throws: a line that cannot be
// built for want of memory is left out.
void logDatabaseError(std::string_view prefix, const std::exception& error) noexcept;
void logDatabaseError(std::string_view prefix, std::string_view failure) noexcept;

}  // namespace zqb

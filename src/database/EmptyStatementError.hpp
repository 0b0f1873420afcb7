#pragma once

#include <stdexcept>

namespace zqb {

// Thrown when a text handed to a statement holds no SQL statement at all (empty, blanks, comments only).
class EmptyStatementError : public std::runtime_error {
public:
    EmptyStatementError() : std::runtime_error("EmptyStatementError") {}
};

}  // namespace zqb

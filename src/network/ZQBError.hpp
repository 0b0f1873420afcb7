#pragma once

#include <exception>
#include <string>

namespace zqb {

// The error value the backend layer throws and carries in its failures. Its localized description is its
// text, unchanged.
class ZQBError : public std::exception {
public:
    explicit ZQBError(std::string description) : description_(std::move(description)) {}

    const std::string& description() const noexcept { return description_; }
    const std::string& localizedDescription() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    std::string description_;
};

}  // namespace zqb

#pragma once

#include <string>

// The log lines of the argument rules, as the log capture records them, for the tests that expect them.
namespace zqb::test {

inline std::string error(const std::string& method, const std::string& rest) {
    return "ERROR In the " + method + " method an error has occurred: \n\t" + rest;
}

inline std::string truncated(const std::string& method, const std::string& argument, const std::string& value,
                             int limit) {
    return "WARNING In the " + method + " method an error has occurred:\n\t" + argument + ": " + value +
           " is longer than it is permitted.\n\tThe string was truncated to '" + std::to_string(limit) + "'!";
}

inline std::string canceled(const std::string& method) {
    return "ERROR Execution of the " + method + " method was canceled!";
}

inline std::string notInitialized(const std::string& method) {
    return "ERROR In the " + method + " method an error has occurred: The SDK is not initialized yet!";
}

}  // namespace zqb::test

#pragma once

// The process's memory as the kernel counts it, for the tests and benchmarks that check what is given back.

#include <fstream>
#include <string>

namespace zqb::test {

// A size field of /proc/self/status ("VmRSS:", "VmHWM:") in bytes; 0 when it cannot be read.
inline double statusBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stod(line.substr(field.size())) * 1024.0;
        }
    }
    return 0;
}

// The resident set now.
inline double residentBytes() {
    return statusBytes("VmRSS:");
}

// The largest resident set since the process began, or since the peak was last reset.
inline double peakResidentBytes() {
    return statusBytes("VmHWM:");
}

}  // namespace zqb::test

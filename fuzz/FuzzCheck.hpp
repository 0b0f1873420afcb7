#pragma once

#include <cstdio>
#include <cstdlib>

namespace zqb::fuzz {

// Stops the run with the broken invariant named, so that libFuzzer keeps the input as a crash.
inline void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace zqb::fuzz

#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace zqb {

// A stretch of bytes at an offset of a file that is zero elsewhere: a file held in the source as its runs
// stays short and readable where most of its pages are empty.
struct ByteRun {
    std::size_t offset;
    std::string_view bytes;
};

// The file of `size` bytes the runs describe, laid out while compiling.
template <std::size_t size, std::size_t count>
constexpr std::array<char, size> spreadByteRuns(const ByteRun (&runs)[count]) {
    std::array<char, size> file{};
    for (const ByteRun& run : runs) {
        for (std::size_t i = 0; i < run.bytes.size(); ++i) {
            file[run.offset + i] = run.bytes[i];
        }
    }
    return file;
}

}  // namespace zqb

#pragma once

#include <concepts>
#include <cstdint>
#include <type_traits>

namespace zqb_detail {

// An integer type a public call takes as an `int64_t`, beside its `bool`, `int64_t`, `double` and text
// forms: without it an `int` argument would fit all of those equally well. Characters are not numbers and
// are refused at compile time.
template <typename T>
concept IntegerArgument =
    std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, wchar_t> &&
    !std::same_as<T, char8_t> && !std::same_as<T, char16_t> && !std::same_as<T, char32_t>;

template <IntegerArgument T>
constexpr int64_t toInt64(T value) {
    static_assert(std::is_signed_v<T> || sizeof(T) < sizeof(int64_t),
                  "a 64-bit unsigned value may not fit an int64_t: convert it explicitly");
    return static_cast<int64_t>(value);
}

}  // namespace zqb_detail

#pragma once

#include <cstdint>
#include <type_traits>

// The public headers compile as C++17: hosts built with C++17 include them, while the library itself is
// built with a later standard.
namespace zqb_detail {

// Characters are not numbers.
template <typename T>
inline constexpr bool isCharacter = std::is_same_v<T, char> || std::is_same_v<T, wchar_t> ||
#if defined(__cpp_char8_t)
                                    std::is_same_v<T, char8_t> ||
#endif
                                    std::is_same_v<T, char16_t> || std::is_same_v<T, char32_t>;

// A 64-bit unsigned value may not fit an `int64_t`.
template <typename T>
inline constexpr bool isUnsigned64 =
    std::is_integral_v<T>&& std::is_unsigned_v<T> && !std::is_same_v<T, bool> && !isCharacter<T> &&
    sizeof(T) >= sizeof(int64_t);

// An integer type a public call takes as an `int64_t`, beside its `bool`, `int64_t`, `double` and text
// forms: without it an `int` argument would fit all of those equally well.
template <typename T>
inline constexpr bool isIntegerArgument =
    std::is_integral_v<T> && !std::is_same_v<T, bool> && !isCharacter<T> && !isUnsigned64<T>;

// Template parameters that admit such an integer, or a 64-bit unsigned one (whose overload is deleted, so
// that the call does not compile and says why).
template <typename T>
using IntegerArgument = std::enable_if_t<isIntegerArgument<T>, int>;
template <typename T>
using Unsigned64Argument = std::enable_if_t<isUnsigned64<T>, int>;

}  // namespace zqb_detail

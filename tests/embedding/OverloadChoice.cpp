// A host built as C++17: the public headers compile, and an argument picks the form a host expects. The
// checks of calls that must not compile are made through the detection idiom; the program itself checks
// which value a parameter set stores.

#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace {

template <typename T, typename = void>
struct ParameterAdds : std::false_type {};
template <typename T>
struct ParameterAdds<T, std::void_t<decltype(std::declval<ZQBCustomEventParameters&>().add(
                            std::string_view(), std::declval<T>()))>> : std::true_type {};

template <typename T, typename = void>
struct CardSets : std::false_type {};
template <typename T>
struct CardSets<T, std::void_t<decltype(ZQBUserCard::set(std::string_view(), std::declval<T>()))>>
    : std::true_type {};

template <typename T, typename = void>
struct CardIncrements : std::false_type {};
template <typename T>
struct CardIncrements<T, std::void_t<decltype(ZQBUserCard::increment(std::string_view(), std::declval<T>()))>>
    : std::true_type {};

template <typename T>
constexpr bool takenEverywhere = ParameterAdds<T>::value&& CardSets<T>::value&& CardIncrements<T>::value;
template <typename T>
constexpr bool refusedEverywhere =
    !ParameterAdds<T>::value && !CardSets<T>::value && !CardIncrements<T>::value;

// Integers of every width below 64 bits unsigned.
static_assert(takenEverywhere<signed char> && takenEverywhere<unsigned char> && takenEverywhere<short> &&
                  takenEverywhere<unsigned short> && takenEverywhere<int> && takenEverywhere<unsigned> &&
                  takenEverywhere<long> && takenEverywhere<long long> && takenEverywhere<int8_t> &&
                  takenEverywhere<uint16_t> && takenEverywhere<int32_t> && takenEverywhere<uint32_t> &&
                  takenEverywhere<int64_t>,
              "an integer picks the integer form");
static_assert(takenEverywhere<double> && takenEverywhere<float>,
              "a floating-point value picks the double form");
static_assert(ParameterAdds<bool>::value && CardSets<bool>::value, "a flag has its own form");
static_assert(ParameterAdds<const char*>::value && CardSets<const char*>::value &&
                  ParameterAdds<std::string>::value && CardSets<std::string>::value,
              "texts have their own form");

// Characters are not numbers, and a 64-bit unsigned value may not fit.
static_assert(refusedEverywhere<char> && refusedEverywhere<wchar_t> && refusedEverywhere<char16_t> &&
                  refusedEverywhere<char32_t>,
              "a character is refused");
#if defined(__cpp_char8_t)
static_assert(refusedEverywhere<char8_t>, "a character is refused");
#endif
static_assert(refusedEverywhere<uint64_t> && refusedEverywhere<unsigned long long> &&
                  refusedEverywhere<unsigned long>,
              "a 64-bit unsigned value is refused");

int failures = 0;

template <typename Expected>
void expectStored(const ZQBCustomEventParameters& parameters, const std::string& key) {
    const auto stored = parameters.getAllParameters();
    const auto found = stored.find(key);
    if (found == stored.end() || !std::holds_alternative<Expected>(found->second)) {
        std::fprintf(stderr, "the parameter [%s] is not stored in the expected form\n", key.c_str());
        ++failures;
    }
}

}  // namespace

int main() {
    ZQBCustomEventParameters parameters;
    parameters.add("int", 5);
    parameters.add("unsigned", 5u);
    parameters.add("byte", static_cast<uint8_t>(200));
    parameters.add("short", static_cast<short>(-3));
    parameters.add("flag", true);
    parameters.add("real", 2.5f);
    parameters.add("literal", "text");
    parameters.add("string", std::string("text"));

    expectStored<int64_t>(parameters, "int");
    expectStored<int64_t>(parameters, "unsigned");
    expectStored<int64_t>(parameters, "byte");
    expectStored<int64_t>(parameters, "short");
    expectStored<bool>(parameters, "flag");
    expectStored<double>(parameters, "real");
    expectStored<std::string>(parameters, "literal");
    expectStored<std::string>(parameters, "string");
    if (std::get<int64_t>(parameters.getAllParameters().at("byte")) != 200) {
        std::fprintf(stderr, "an unsigned byte is not stored as its value\n");
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}

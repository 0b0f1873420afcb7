#pragma once

#include <ZQBAnalytics/ZQBEnums.hpp>
#include <ZQBAnalytics/ZQBExport.hpp>
#include <ZQBAnalytics/ZQBIntegerArgument.hpp>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

/// The user card: a profile of named values kept for the active user and reported to the analytics service
/// with the user's events. Every member is static and may be called from any thread.
///
/// **Values.** A value is a text, an integer, a double or a flag. Keys are at most 64 characters and texts at
/// most 255 (longer ones are cut with a WARNING); an empty key or text, or a NaN or infinite double, cancels
/// the call with an ERROR. Seven keys are reserved for the typed setters below and take only their own kind
/// of value, whatever the case they are spelled in through `set` ("AGE" is "age"): name, email, phone and
/// photo a text, age an integer, cheater a flag, and gender only through `setGender`. A value of another kind
/// is refused with ERROR "Invalid value! The [<value>] value of the reserved key [<key>] must be <kind>".
/// The project's configuration on the analytics service may exclude keys; changes to an excluded key are
/// dropped with an INFO line, while reading it still works.
///
/// **Nothing blocks.** As with `ZQBAnalytics`, every member returns at once, the work runs later on the
/// library's queue in call order with every other call, and a call made before `ZQBAnalytics::initialize`
/// is refused with "In the <method> method an error has occurred: The SDK is not initialized yet!". Getters
/// answer through their handler exactly once, on the library's thread, with the stored value or with their
/// default ("", `ZQBGender::unknown`, 0, false, or no value) when nothing usable is stored or the call is
/// refused.
///
/// Changed values are reported with the next batch of events; `clearUser` reports the clearing at once.
class ZQB_EXPORT ZQBUserCard {
public:
    using StringHandler = std::function<void(const std::string&)>;
    using GenderHandler = std::function<void(ZQBGender)>;
    using IntHandler = std::function<void(int64_t)>;
    using BoolHandler = std::function<void(bool)>;
    /// A stored value as `getValue` answers it.
    using Value = std::variant<std::string, int64_t, double, bool>;
    /// Receives the stored value, or `std::nullopt` when the key holds none.
    using ValueHandler = std::function<void(const std::optional<Value>&)>;

    ZQBUserCard() = delete;

    // ---- Reserved keys -----------------------------------------------------------------------------------

    static void setName(std::string_view name);
    static void getName(StringHandler completionHandler);
    static void setEmail(std::string_view email);
    static void getEmail(StringHandler completionHandler);
    static void setPhone(std::string_view phone);
    static void getPhone(StringHandler completionHandler);
    /// The address of a picture of the user.
    static void setPhoto(std::string_view photo);
    static void getPhoto(StringHandler completionHandler);
    /// Stored as its raw value (0, 1 or 2); a number cast to `ZQBGender` that is none of its cases is
    /// refused with an ERROR.
    static void setGender(ZQBGender gender);
    static void getGender(GenderHandler completionHandler);
    static void setAge(int64_t age);
    static void getAge(IntHandler completionHandler);
    /// A user the game takes for a cheater; kept when the card is cleared.
    static void setCheater(bool cheater);
    static void getCheater(BoolHandler completionHandler);

    // ---- Any key -----------------------------------------------------------------------------------------

    /// Sets the value of `key`; setting the value a key already holds changes nothing.
    static void set(std::string_view key, std::string_view value);
    /// A string literal takes this form, never the flag's.
    static void set(std::string_view key, const char* value);
    static void set(std::string_view key, bool value);
    static void set(std::string_view key, int64_t value);
    /// Any other integer type is stored as an `int64_t`; characters are not numbers.
    template <typename T, zqb_detail::IntegerArgument<T> = 0>
    static void set(std::string_view key, T value) {
        set(key, static_cast<int64_t>(value));
    }
    /// A 64-bit unsigned value may not fit an `int64_t`: convert it explicitly.
    template <typename T, zqb_detail::Unsigned64Argument<T> = 0>
    static void set(std::string_view key, T value) = delete;
    static void set(std::string_view key, double value);

    /// The value stored under `key`: a `std::string`, an `int64_t`, a `double` or a `bool`, or no value.
    static void getValue(std::string_view key, ValueHandler handler);

    /// Adds `value` to the number stored under `key`, or stores it when the key holds nothing. Integers add
    /// as integers, saturating at the 64-bit bounds; an integer and a double, or two doubles, add as doubles.
    /// A key holding a text or a flag keeps it, with an ERROR.
    static void increment(std::string_view key, int64_t value);
    template <typename T, zqb_detail::IntegerArgument<T> = 0>
    static void increment(std::string_view key, T value) {
        increment(key, static_cast<int64_t>(value));
    }
    template <typename T, zqb_detail::Unsigned64Argument<T> = 0>
    static void increment(std::string_view key, T value) = delete;
    static void increment(std::string_view key, double value);

    /// Removes the value of one key, or of several; the removal is reported as a null value.
    static void unset(std::string_view property);
    static void unset(const std::vector<std::string>& properties);
    static void unset(std::initializer_list<std::string_view> properties);

    /// Removes every value but the cheater flag.
    static void clearUser();
};

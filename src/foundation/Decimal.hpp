#pragma once

#include <nlohmann/json.hpp>

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zqb {

// An exact decimal number, as store prices are given: a signed coefficient of decimal digits times a power
// of ten. It never passes through binary floating point, so 0.99 is stored, compared and sent as 0.99.
//
// Values are kept normalised (no leading zeros, no trailing zeros in the coefficient, zero is unsigned), so
// two decimals with the same value have the same representation: 1.50 and 1.5 are one value.
//
// Parsed values hold at most `maxDigits` significant digits and a normalised exponent within
// [`minExponent`, `maxExponent`]; results of arithmetic are exact and may exceed those bounds.
class Decimal {
public:
    static constexpr std::size_t maxDigits = 38;
    static constexpr int32_t minExponent = -128;
    static constexpr int32_t maxExponent = 127;
    // Tag of the binary node that carries a decimal's text inside an `ordered_json` tree.
    static constexpr std::uint64_t jsonSubtype = 0x44454331;

    Decimal() = default;
    Decimal(int64_t value);  // NOLINT(google-explicit-constructor): integers are exact decimals

    // Reads "0.99", "-12", "1.5e-3", "+3.", ".5" (JSON numbers and the usual decimal texts). Gives nothing
    // for any other text, for more than `maxDigits` significant digits or for an exponent out of range.
    static std::optional<Decimal> parse(std::string_view text);

    // Plain decimal text with exactly the value's digits and no exponent: "0.99", "-1.5", "100", "0.00001".
    std::string toString() const;

    bool isZero() const { return digits_.empty(); }
    bool isNegative() const { return negative_; }

    Decimal abs() const;
    Decimal operator-() const;
    friend Decimal operator+(const Decimal& a, const Decimal& b);
    friend Decimal operator-(const Decimal& a, const Decimal& b);

    friend bool operator==(const Decimal& a, const Decimal& b) = default;
    friend std::strong_ordering operator<=>(const Decimal& a, const Decimal& b);

    std::size_t hash() const;

private:
    Decimal(bool negative, std::string digits, int64_t exponent);
    void normalise();

    bool negative_ = false;
    std::string digits_;    // coefficient, most significant first; empty for zero
    int64_t exponent_ = 0;  // value = coefficient x 10^exponent
};

// A decimal goes into an `ordered_json` tree as a tagged node that only `JsonText` writes (as a JSON number
// with the decimal's digits). Reading accepts that node and JSON integers; a binary floating value is refused
// so that digits are never guessed back from a double: parse texts with `JsonText::parse`.
void to_json(nlohmann::ordered_json& json, const Decimal& value);
void from_json(const nlohmann::ordered_json& json, Decimal& value);

}  // namespace zqb

template <>
struct std::hash<zqb::Decimal> {
    std::size_t operator()(const zqb::Decimal& value) const noexcept { return value.hash(); }
};

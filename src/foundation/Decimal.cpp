#include "foundation/Decimal.hpp"

#include <algorithm>
#include <functional>
#include <limits>
#include <stdexcept>
#include <utility>

namespace zqb {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Unsigned digit strings of equal length, most significant first.
std::string addMagnitudes(const std::string& a, const std::string& b) {
    std::string out(a.size() + 1, '0');
    int carry = 0;
    for (std::size_t i = a.size(); i-- > 0;) {
        const int sum = (a[i] - '0') + (b[i] - '0') + carry;
        out[i + 1] = static_cast<char>('0' + sum % 10);
        carry = sum / 10;
    }
    out[0] = static_cast<char>('0' + carry);
    return out;
}

// a >= b, both of equal length.
std::string subtractMagnitudes(const std::string& a, const std::string& b) {
    std::string out(a.size(), '0');
    int borrow = 0;
    for (std::size_t i = a.size(); i-- > 0;) {
        int difference = (a[i] - '0') - (b[i] - '0') - borrow;
        borrow = difference < 0 ? 1 : 0;
        out[i] = static_cast<char>('0' + difference + 10 * borrow);
    }
    return out;
}

}  // namespace

Decimal::Decimal(int64_t value) {
    if (value == 0) {
        return;
    }
    negative_ = value < 0;
    // Through the unsigned magnitude so that the lowest int64 has one too.
    const uint64_t magnitude = negative_ ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    digits_ = std::to_string(magnitude);
    normalise();
}

Decimal::Decimal(bool negative, std::string digits, int64_t exponent)
    : negative_(negative), digits_(std::move(digits)), exponent_(exponent) {
    normalise();
}

void Decimal::normalise() {
    const auto firstNonZero = digits_.find_first_not_of('0');
    if (firstNonZero == std::string::npos) {
        digits_.clear();
        exponent_ = 0;
        negative_ = false;
        return;
    }
    digits_.erase(0, firstNonZero);
    const auto lastNonZero = digits_.find_last_not_of('0');
    exponent_ += static_cast<int64_t>(digits_.size() - lastNonZero - 1);
    digits_.erase(lastNonZero + 1);
}

std::optional<Decimal> Decimal::parse(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    std::string digits;
    std::size_t fractionDigits = 0;
    bool sawDigit = false;
    while (i < text.size() && isDigit(text[i])) {
        digits.push_back(text[i++]);
        sawDigit = true;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            digits.push_back(text[i++]);
            ++fractionDigits;
            sawDigit = true;
        }
    }
    if (!sawDigit) {
        return std::nullopt;
    }
    int64_t exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
            negativeExponent = text[i] == '-';
            ++i;
        }
        if (i >= text.size() || !isDigit(text[i])) {
            return std::nullopt;
        }
        // Anything past a billion is out of range anyway; stop counting there instead of overflowing.
        constexpr int64_t cap = 1'000'000'000;
        while (i < text.size() && isDigit(text[i])) {
            exponent = std::min(cap, exponent * 10 + (text[i++] - '0'));
        }
        if (negativeExponent) {
            exponent = -exponent;
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    Decimal value(negative, std::move(digits), exponent - static_cast<int64_t>(fractionDigits));
    if (!value.isZero() && (value.digits_.size() > maxDigits || value.exponent_ < minExponent ||
                            value.exponent_ > maxExponent)) {
        return std::nullopt;
    }
    return value;
}

std::string Decimal::toString() const {
    if (isZero()) {
        return "0";
    }
    std::string out = negative_ ? "-" : "";
    if (exponent_ >= 0) {
        out += digits_;
        out.append(static_cast<std::size_t>(exponent_), '0');
        return out;
    }
    const auto fraction = static_cast<std::size_t>(-exponent_);
    if (digits_.size() > fraction) {
        out += digits_.substr(0, digits_.size() - fraction);
        out += '.';
        out += digits_.substr(digits_.size() - fraction);
    } else {
        out += "0.";
        out.append(fraction - digits_.size(), '0');
        out += digits_;
    }
    return out;
}

Decimal Decimal::abs() const {
    Decimal out = *this;
    out.negative_ = false;
    return out;
}

Decimal Decimal::operator-() const {
    Decimal out = *this;
    out.negative_ = !out.isZero() && !negative_;
    return out;
}

Decimal operator+(const Decimal& a, const Decimal& b) {
    if (a.isZero()) {
        return b;
    }
    if (b.isZero()) {
        return a;
    }
    const int64_t exponent = std::min(a.exponent_, b.exponent_);
    std::string x = a.digits_ + std::string(static_cast<std::size_t>(a.exponent_ - exponent), '0');
    std::string y = b.digits_ + std::string(static_cast<std::size_t>(b.exponent_ - exponent), '0');
    const std::size_t width = std::max(x.size(), y.size());
    x.insert(0, width - x.size(), '0');
    y.insert(0, width - y.size(), '0');
    if (a.negative_ == b.negative_) {
        return Decimal(a.negative_, addMagnitudes(x, y), exponent);
    }
    if (x >= y) {
        return Decimal(a.negative_, subtractMagnitudes(x, y), exponent);
    }
    return Decimal(b.negative_, subtractMagnitudes(y, x), exponent);
}

Decimal operator-(const Decimal& a, const Decimal& b) {
    return a + (-b);
}

std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) {
    const int signA = a.isZero() ? 0 : (a.negative_ ? -1 : 1);
    const int signB = b.isZero() ? 0 : (b.negative_ ? -1 : 1);
    if (signA != signB || signA == 0) {
        return signA <=> signB;
    }
    // Both non-zero with one sign: compare magnitudes by the place of the leading digit, then digit by digit
    // (normalised coefficients carry no trailing zeros, so a prefix is the smaller one).
    const int64_t leadA = static_cast<int64_t>(a.digits_.size()) + a.exponent_;
    const int64_t leadB = static_cast<int64_t>(b.digits_.size()) + b.exponent_;
    std::strong_ordering magnitude = leadA <=> leadB;
    if (magnitude == std::strong_ordering::equal) {
        magnitude = a.digits_.compare(b.digits_) <=> 0;
    }
    return signA > 0 ? magnitude : 0 <=> magnitude;
}

std::size_t Decimal::hash() const {
    std::size_t seed = std::hash<std::string>{}(digits_);
    seed ^= std::hash<int64_t>{}(exponent_) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    seed ^= std::hash<bool>{}(negative_) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    return seed;
}

void to_json(nlohmann::ordered_json& json, const Decimal& value) {
    const std::string text = value.toString();
    json = nlohmann::ordered_json::binary(std::vector<std::uint8_t>(text.begin(), text.end()),
                                          Decimal::jsonSubtype);
}

void from_json(const nlohmann::ordered_json& json, Decimal& value) {
    if (json.is_number_integer()) {
        // Signed or unsigned: both read exactly through their text.
        if (const auto parsed = Decimal::parse(json.dump())) {
            value = *parsed;
            return;
        }
    } else if (json.is_binary() && json.get_binary().has_subtype() &&
               json.get_binary().subtype() == Decimal::jsonSubtype) {
        const auto& bytes = json.get_binary();
        if (const auto parsed = Decimal::parse(std::string(bytes.begin(), bytes.end()))) {
            value = *parsed;
            return;
        }
    }
    throw std::invalid_argument("Expected to decode Decimal but found " + std::string(json.type_name()) +
                                " instead.");
}

}  // namespace zqb

#include "ResultNumber.h"

#include "results/NumberText.h"
#include "results/ResultTable.h"

#include <charconv>
#include <cmath>
#include <optional>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace torvi {

namespace {

static_assert(std::numeric_limits<long double>::digits <= 64,
              "the exact expansion takes the mantissa of long double as a 64-bit integer");

constexpr std::size_t SignificantDigits = 18;
constexpr std::size_t Decimals = 5;
constexpr std::size_t Width = 12;

// A natural number in base 2^32, least significant limb first: just enough to
// expand any finite long double exactly (at most about 16500 bits).
class Natural {
public:
    explicit Natural(std::uint64_t value) {
        limbs_.push_back(static_cast<std::uint32_t>(value));
        if (value >> 32) limbs_.push_back(static_cast<std::uint32_t>(value >> 32));
    }

    void Multiply(std::uint32_t factor) {
        std::uint64_t carry = 0;
        for (std::uint32_t& limb : limbs_) {
            const std::uint64_t product = std::uint64_t{limb} * factor + carry;
            limb = static_cast<std::uint32_t>(product);
            carry = product >> 32;
        }
        if (carry) limbs_.push_back(static_cast<std::uint32_t>(carry));
    }

    void ShiftLeft(unsigned bits) {
        limbs_.insert(limbs_.begin(), bits / 32, 0u);
        const unsigned rest = bits % 32;
        if (rest == 0) return;
        std::uint32_t carry = 0;
        for (std::uint32_t& limb : limbs_) {
            const std::uint32_t next = limb >> (32 - rest);
            limb = (limb << rest) | carry;
            carry = next;
        }
        if (carry) limbs_.push_back(carry);
    }

    // Decimal digits, most significant first, without leading zeros.
    std::string Digits() const {
        std::vector<std::uint32_t> n = limbs_;
        std::vector<std::uint32_t> groups; // base 10^9, least significant first
        while (!n.empty()) {
            std::uint64_t rest = 0;
            for (std::size_t i = n.size(); i-- > 0;) {
                const std::uint64_t current = (rest << 32) | n[i];
                n[i] = static_cast<std::uint32_t>(current / 1000000000u);
                rest = current % 1000000000u;
            }
            groups.push_back(static_cast<std::uint32_t>(rest));
            while (!n.empty() && n.back() == 0)
                n.pop_back();
        }
        std::string digits = std::to_string(groups.empty() ? 0u : groups.back());
        for (std::size_t i = groups.size() - 1; i-- > 0;) {
            const std::string group = std::to_string(groups[i]);
            digits.append(9 - group.size(), '0');
            digits += group;
        }
        return digits;
    }

private:
    std::vector<std::uint32_t> limbs_;
};

// Adds one unit in the last place of a decimal digit string; a carry out of
// the first digit lengthens it.
void Increment(std::string& digits) {
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return;
        }
        digits[i] = '0';
    }
    digits.insert(digits.begin(), '1');
}

// The exact value of a finite, nonzero magnitude as digits × 10^exponent.
void ExactDecimal(long double magnitude, std::string& digits, long long& exponent) {
    int binaryExponent = 0;
    const long double fraction = std::frexp(magnitude, &binaryExponent);
    auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
    long long power = static_cast<long long>(binaryExponent) - 64;
    while ((mantissa & 1u) == 0 && power < 0) {
        mantissa >>= 1;
        ++power;
    }
    Natural n(mantissa);
    exponent = 0;
    if (power >= 0) {
        n.ShiftLeft(static_cast<unsigned>(power));
    } else {
        // m / 2^k is m × 5^k / 10^k.
        long long fives = -power;
        exponent = power;
        for (; fives >= 13; fives -= 13)
            n.Multiply(1220703125u); // 5^13
        std::uint32_t last = 1;
        for (; fives > 0; --fives)
            last *= 5;
        n.Multiply(last);
    }
    digits = n.Digits();
}

void AppendPadded(std::string& out, std::string_view sign, std::string_view whole,
                  std::string_view separator, std::string_view decimals) {
    const std::size_t separatorWidth = separator.empty() ? 0 : 1;
    const std::size_t width = sign.size() + whole.size() + separatorWidth + decimals.size();
    if (width < Width) out.append(Width - width, ' ');
    out += sign;
    out += whole;
    out += separator;
    out += decimals;
}

} // namespace

void AppendResultNumber(std::string& out, long double value, std::string_view separator) {
    if (std::isnan(value)) {
        AppendPadded(out, "", "NAN", "", "");
        return;
    }
    if (std::isinf(value)) {
        AppendPadded(out, value < 0 ? "-" : "", "INF", "", "");
        return;
    }
    std::string scaled = "0"; // the value × 10^5, rounded, without sign
    // Below a millionth even the 18-digit reduction cannot reach the half of
    // the fifth decimal; skipping the expansion keeps tiny values cheap.
    if (std::fabs(value) >= 1e-6L) {
        std::string digits;
        long long exponent = 0;
        ExactDecimal(std::fabs(value), digits, exponent);

        if (digits.size() > SignificantDigits) {
            const char first = digits[SignificantDigits];
            const bool restNonZero =
                digits.find_first_not_of('0', SignificantDigits + 1) != std::string::npos;
            exponent += static_cast<long long>(digits.size() - SignificantDigits);
            digits.resize(SignificantDigits);
            const bool odd = (digits.back() - '0') % 2 == 1;
            if (first > '5' || (first == '5' && (restNonZero || odd))) Increment(digits);
        }

        const long long shift = exponent + static_cast<long long>(Decimals);
        if (shift >= 0) {
            scaled = digits + std::string(static_cast<std::size_t>(shift), '0');
        } else if (static_cast<unsigned long long>(-shift) <= digits.size()) {
            const std::size_t keep = digits.size() - static_cast<std::size_t>(-shift);
            scaled = keep == 0 ? "0" : digits.substr(0, keep);
            if (digits[keep] >= '5') Increment(scaled);
        }
    }
    const std::size_t lead = std::min(scaled.find_first_not_of('0'), scaled.size());
    scaled.erase(0, lead);
    const bool negative = value < 0 && !scaled.empty();
    if (scaled.size() <= Decimals) scaled.insert(0, Decimals + 1 - scaled.size(), '0');
    const std::string_view all(scaled);
    const std::size_t point = all.size() - Decimals;
    AppendPadded(out, negative ? "-" : "", all.substr(0, point), separator, all.substr(point));
}

std::string FormatResultNumber(long double value, std::string_view separator) {
    std::string out;
    AppendResultNumber(out, value, separator);
    return out;
}

std::string TurnValueText(std::int64_t turnedDegrees, std::string_view ticksPerTurn,
                          std::string_view separator) {
    const std::optional<long double> ticks = ConvertNumberText(ticksPerTurn, separator);
    if (!ticks) return {};
    const long double value =
        AngleInTicks(static_cast<double>(static_cast<std::int32_t>(turnedDegrees)), *ticks);
    char text[64];
    const double rounded = std::round(static_cast<double>(value) * 100.0) / 100.0;
    const auto [end, ec] = std::to_chars(text, text + sizeof text, rounded == 0 ? 0.0 : rounded,
                                         std::chars_format::fixed, 2);
    if (ec != std::errc()) return {};
    std::string result(text, end);
    result.erase(result.find_last_not_of('0') + 1);
    if (result.back() == '.') result.pop_back();
    const auto point = result.find('.');
    if (point != std::string::npos) result.replace(point, 1, separator);
    return result;
}

} // namespace torvi

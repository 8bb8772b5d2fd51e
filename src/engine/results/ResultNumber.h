#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace torvi {

// Writes a number of the result table the way the table has always been
// written ("%:12.5f"): fixed notation with five decimals and the given
// decimal separator, a leading "-" for negative values, right-aligned in 12
// characters and never cut. The exact value is first reduced to 18
// significant digits (a tie there goes to the even digit), and that digit
// string is then rounded at the fifth decimal, a 5 rounding away from zero:
// 1/64 is written 0.01563. A value that rounds to zero carries no minus sign.
// The separator counts as one character whatever its encoding. Infinities and
// NaN come out as INF, -INF and NAN. Locale-independent and exact: no C
// library formatting is involved.
std::string FormatResultNumber(long double value, std::string_view separator);

// The same, appended to out.
void AppendResultNumber(std::string& out, long double value, std::string_view separator);

// A turn of whole degrees as the live window shows it, large: in the ticks
// per turn the user typed (with the decimal separator), two decimals at
// most, 12.50 as 12.5 and 12.00 as 12; empty when the ticks do not convert.
std::string TurnValueText(std::int64_t turnedDegrees, std::string_view ticksPerTurn,
                          std::string_view separator);

} // namespace torvi

#pragma once

#include "locale/UserLocale.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace torvi {

// The message for field texts the result table cannot use.
inline constexpr const char* ValuesNotValid = "The values you entered are not valid.";

// What the user entered in the three fields under the picture, as the fields
// hold it, in UTF-8.
struct ResultFields {
    std::string SampleName;
    std::string FramesPerSecond;
    std::string TicksPerTurn;
};

// The two numbers that scale the result table, converted from the fields.
struct ResultScale {
    long double FramesPerSecond = 0;
    long double TicksPerTurn = 0;
};

// The text an empty numeric field takes before an export: "1". Any other
// text is returned as it is. The window puts the result back into its field.
std::string DefaultedFieldText(std::string_view text);

// Converts both numeric field texts with the given decimal separator. Throws
// Error(ValuesNotValid) when either does not convert or the frame rate is 0,
// which would put every row at an infinite time.
ResultScale CheckResultScale(std::string_view framesPerSecond, std::string_view ticksPerTurn,
                             std::string_view separator);

// The time of a frame, frame count over the rate, in extended precision. The
// result file counts rows from 1, the graph counts frames from 0.
long double FrameTime(std::int64_t frame, long double framesPerSecond);

// An unwrapped angle in whole degrees expressed in ticks per turn:
// angle × ticks / 360, multiplied first, in extended precision.
long double AngleInTicks(std::int32_t angle, long double ticksPerTurn);
// The same for a fine angle in degrees.
long double AngleInTicks(double angle, long double ticksPerTurn);

// The complete result file for one measurement: the sample line, the two
// scale lines with the field texts as typed, an empty line, the column header,
// one line per entry of the unwrapped series (row i at time i / rate) and a
// form-feed line; CR LF after every line. The bytes are those of a single-byte
// code page, one of ResultCodePages, by default the one of the user's locale;
// characters it lacks become "?". A line break
// in the sample name becomes a space so that the table keeps its lines.
// Throws Error(ValuesNotValid) as CheckResultScale does, and also when a row's
// time or value reaches 10^18 in magnitude (a tick count of 10^16 or a rate of
// 10^-18 and the like). Throws Error for a code page not in ResultCodePages.
std::string ResultFileBytes(const ResultFields& fields, std::span<const std::int32_t> unwrapped,
                            std::string_view separator, int codePage = UserCodePage());
// The same with fine angles, in degrees with fractions.
std::string FineResultFileBytes(const ResultFields& fields, std::span<const double> unwrapped,
                                std::string_view separator, int codePage = UserCodePage());

// Writes ResultFileBytes to path: complete or not at all, an earlier file
// under that name survives any failure. Throws Error with the reason; nothing
// is touched when the values are refused.
void WriteResultFile(const std::string& path, const ResultFields& fields,
                     std::span<const std::int32_t> unwrapped, std::string_view separator,
                     int codePage = UserCodePage());

// The same table for frames taken at the given times in seconds (a live
// measurement's, from the device's clock) instead of at row / rate; the rate
// field only fills line 2. Throws Error as above, and when the two series
// differ in length.
std::string ResultFileBytes(const ResultFields& fields, std::span<const std::int32_t> unwrapped,
                            std::span<const long double> times, std::string_view separator,
                            int codePage = UserCodePage());
void WriteResultFile(const std::string& path, const ResultFields& fields,
                     std::span<const std::int32_t> unwrapped, std::span<const long double> times,
                     std::string_view separator, int codePage = UserCodePage());
void WriteFineResultFile(const std::string& path, const ResultFields& fields,
                         std::span<const double> unwrapped, std::string_view separator,
                         int codePage = UserCodePage());
// The fine-angle table at the given times.
std::string FineResultFileBytes(const ResultFields& fields, std::span<const double> unwrapped,
                                std::span<const long double> times, std::string_view separator,
                                int codePage = UserCodePage());
void WriteFineResultFile(const std::string& path, const ResultFields& fields,
                         std::span<const double> unwrapped, std::span<const long double> times,
                         std::string_view separator, int codePage = UserCodePage());

// Completes a file name typed without an extension with ".txt". The name has
// an extension when its last component holds a point after its first
// character ("result.csv", "result."); a leading point only marks a hidden
// file (".result" becomes ".result.txt"). Points in folder names do not count.
// An empty name, ".", ".." or a name ending in a slash is returned unchanged.
std::string CompleteResultFileName(std::string_view name);

} // namespace torvi

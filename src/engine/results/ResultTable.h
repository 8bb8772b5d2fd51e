#pragma once

#include "locale/UserLocale.h"
#include "results/MeasuredSeries.h"

#include <cstdint>
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
// Whole degrees and fine angles alike: a double holds every whole degree exactly.
long double AngleInTicks(double angle, long double ticksPerTurn);

// The complete result file for one measurement: the sample line, the two
// scale lines with the field texts as typed, an empty line, the column header,
// one line per frame of the series (its row time and its turned angle in
// ticks, whole degrees or fine as the series holds) and a form-feed line;
// CR LF after every line. The bytes are those of a single-byte code page, one
// of ResultCodePages, by default the one of the user's locale; characters it
// lacks become "?". A line break in the sample name becomes a space so that
// the table keeps its lines. The rate field gives the row times of a series
// without times of its own, and fills line 2 either way.
// Throws Error(ValuesNotValid) as CheckResultScale does, and also when a row's
// time or value reaches 10^18 in magnitude (a tick count of 10^16 or a rate of
// 10^-18 and the like). Throws Error for a code page not in ResultCodePages
// and for a series MeasuredSeries::Check refuses.
std::string ResultFileBytes(const ResultFields& fields, const MeasuredSeries& series,
                            std::string_view separator, int codePage = UserCodePage());

// Writes ResultFileBytes to path: complete or not at all, an earlier file
// under that name survives any failure. Throws Error with the reason; nothing
// is touched when the values are refused.
void WriteResultFile(const std::string& path, const ResultFields& fields,
                     const MeasuredSeries& series, std::string_view separator,
                     int codePage = UserCodePage());

// Completes a file name typed without an extension with ".txt". The name has
// an extension when its last component holds a point after its first
// character ("result.csv", "result."); a leading point only marks a hidden
// file (".result" becomes ".result.txt"). Points in folder names do not count.
// An empty name, ".", ".." or a name ending in a slash is returned unchanged.
std::string CompleteResultFileName(std::string_view name);

} // namespace torvi

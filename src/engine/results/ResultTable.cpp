#include "ResultTable.h"

#include "Error.h"
#include "FileIO.h"
#include "NumberText.h"
#include "ResultNumber.h"
#include "locale/CodePage.h"

#include <cmath>

namespace torvi {

namespace {

constexpr std::string_view LineEnd = "\r\n";
constexpr std::string_view SampleCaption = "Sample:";
constexpr std::string_view RateCaption = "Number of frames per second    (x-axis):";
constexpr std::string_view TicksCaption = "Number of ticks per angle 360\xC2\xB0 (y-axis):";
constexpr std::string_view ColumnHeader = "     x-axis              y-axis";
constexpr std::string_view ColumnGap = "        ";

// Beyond 18 integer digits a row would hold nothing but rounding zeros, up to
// thousands of them per line; such numbers come only from absurd field texts.
constexpr long double LargestNumber = 1e18L;

void AppendLine(std::string& out, std::string_view utf8, int codePage) {
    out += CodePageFromUtf8(utf8, codePage);
    out += LineEnd;
}

} // namespace

std::string DefaultedFieldText(std::string_view text) {
    return text.empty() ? std::string("1") : std::string(text);
}

ResultScale CheckResultScale(std::string_view framesPerSecond, std::string_view ticksPerTurn,
                             std::string_view separator) {
    const auto rate = ConvertNumberText(framesPerSecond, separator);
    const auto ticks = ConvertNumberText(ticksPerTurn, separator);
    if (!rate || !ticks || *rate == 0) throw Error(ValuesNotValid);
    return {*rate, *ticks};
}

long double FrameTime(std::int64_t frame, long double framesPerSecond) {
    return static_cast<long double>(frame) / framesPerSecond;
}

long double AngleInTicks(std::int32_t angle, long double ticksPerTurn) {
    return static_cast<long double>(angle) * ticksPerTurn / 360.0L;
}

long double AngleInTicks(double angle, long double ticksPerTurn) {
    return static_cast<long double>(angle) * ticksPerTurn / 360.0L;
}

namespace {

// The table with row k (from 0) at time timeOf(k, scale), for whole-degree
// and fine angles alike.
template <typename Angle, typename TimeOf>
std::string TableBytes(const ResultFields& fields, std::span<const Angle> unwrapped,
                       std::string_view separator, int codePage, TimeOf timeOf) {
    if (!IsResultCodePage(codePage))
        throw Error("There is no code page " + std::to_string(codePage) + " for result files");
    const ResultScale scale =
        CheckResultScale(fields.FramesPerSecond, fields.TicksPerTurn, separator);

    std::string sample = fields.SampleName;
    for (char& c : sample)
        if (c == '\r' || c == '\n') c = ' ';

    std::string out;
    out.reserve(200 + unwrapped.size() * 34);
    AppendLine(out, std::string(SampleCaption) + " " + sample, codePage);
    AppendLine(out, std::string(RateCaption) + " " + fields.FramesPerSecond, codePage);
    AppendLine(out, std::string(TicksCaption) + " " + fields.TicksPerTurn, codePage);
    AppendLine(out, "", codePage);
    AppendLine(out, ColumnHeader, codePage);

    const std::string fileSeparator = CodePageFromUtf8(separator, codePage);
    for (std::size_t k = 0; k < unwrapped.size(); ++k) {
        const long double time = timeOf(k, scale);
        const long double value = AngleInTicks(unwrapped[k], scale.TicksPerTurn);
        if (!(std::fabs(time) < LargestNumber) || !(std::fabs(value) < LargestNumber))
            throw Error(ValuesNotValid);
        AppendResultNumber(out, time, fileSeparator);
        out += ColumnGap;
        AppendResultNumber(out, value, fileSeparator);
        out += LineEnd;
    }
    out += '\f';
    out += LineEnd;
    return out;
}

// The table with row k at times[k].
template <typename Angle>
std::string TimedTableBytes(const ResultFields& fields, std::span<const Angle> unwrapped,
                            std::span<const long double> times, std::string_view separator,
                            int codePage) {
    if (times.size() != unwrapped.size())
        throw Error("The result has not one time for every frame");
    return TableBytes(fields, unwrapped, separator, codePage,
                      [times](std::size_t k, const ResultScale&) { return times[k]; });
}

} // namespace

std::string ResultFileBytes(const ResultFields& fields, std::span<const std::int32_t> unwrapped,
                            std::string_view separator, int codePage) {
    return TableBytes(fields, unwrapped, separator, codePage,
                      [](std::size_t k, const ResultScale& scale) {
                          return FrameTime(static_cast<std::int64_t>(k) + 1, scale.FramesPerSecond);
                      });
}

std::string ResultFileBytes(const ResultFields& fields, std::span<const std::int32_t> unwrapped,
                            std::span<const long double> times, std::string_view separator,
                            int codePage) {
    return TimedTableBytes(fields, unwrapped, times, separator, codePage);
}

std::string FineResultFileBytes(const ResultFields& fields, std::span<const double> unwrapped,
                                std::span<const long double> times, std::string_view separator,
                                int codePage) {
    return TimedTableBytes(fields, unwrapped, times, separator, codePage);
}

std::string FineResultFileBytes(const ResultFields& fields, std::span<const double> unwrapped,
                                std::string_view separator, int codePage) {
    return TableBytes(fields, unwrapped, separator, codePage,
                      [](std::size_t k, const ResultScale& scale) {
                          return FrameTime(static_cast<std::int64_t>(k) + 1, scale.FramesPerSecond);
                      });
}

void WriteResultFile(const std::string& path, const ResultFields& fields,
                     std::span<const std::int32_t> unwrapped, std::string_view separator,
                     int codePage) {
    const std::string bytes = ResultFileBytes(fields, unwrapped, separator, codePage);
    WriteFileAtomically(path, bytes.data(), bytes.size());
}

void WriteResultFile(const std::string& path, const ResultFields& fields,
                     std::span<const std::int32_t> unwrapped, std::span<const long double> times,
                     std::string_view separator, int codePage) {
    const std::string bytes = ResultFileBytes(fields, unwrapped, times, separator, codePage);
    WriteFileAtomically(path, bytes.data(), bytes.size());
}

void WriteFineResultFile(const std::string& path, const ResultFields& fields,
                         std::span<const double> unwrapped, std::string_view separator,
                         int codePage) {
    const std::string bytes = FineResultFileBytes(fields, unwrapped, separator, codePage);
    WriteFileAtomically(path, bytes.data(), bytes.size());
}

void WriteFineResultFile(const std::string& path, const ResultFields& fields,
                         std::span<const double> unwrapped, std::span<const long double> times,
                         std::string_view separator, int codePage) {
    const std::string bytes = FineResultFileBytes(fields, unwrapped, times, separator, codePage);
    WriteFileAtomically(path, bytes.data(), bytes.size());
}

std::string CompleteResultFileName(std::string_view name) {
    const std::size_t slash = name.find_last_of('/');
    const std::string_view last = slash == std::string_view::npos ? name : name.substr(slash + 1);
    if (last.empty() || last == "." || last == "..") return std::string(name);
    const std::size_t point = last.find_last_of('.');
    if (point != std::string_view::npos && point > 0) return std::string(name);
    return std::string(name) + ".txt";
}

} // namespace torvi

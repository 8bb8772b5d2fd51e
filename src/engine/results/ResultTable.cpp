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

long double AngleInTicks(double angle, long double ticksPerTurn) {
    return static_cast<long double>(angle) * ticksPerTurn / 360.0L;
}

std::string ResultFileBytes(const ResultFields& fields, const MeasuredSeries& series,
                            std::string_view separator, int codePage) {
    if (!IsResultCodePage(codePage))
        throw Error("There is no code page " + std::to_string(codePage) + " for result files");
    series.Check();
    const ResultScale scale =
        CheckResultScale(fields.FramesPerSecond, fields.TicksPerTurn, separator);

    std::string sample = fields.SampleName;
    for (char& c : sample)
        if (c == '\r' || c == '\n') c = ' ';

    std::string out;
    out.reserve(200 + series.Size() * 34);
    AppendLine(out, std::string(SampleCaption) + " " + sample, codePage);
    AppendLine(out, std::string(RateCaption) + " " + fields.FramesPerSecond, codePage);
    AppendLine(out, std::string(TicksCaption) + " " + fields.TicksPerTurn, codePage);
    AppendLine(out, "", codePage);
    AppendLine(out, ColumnHeader, codePage);

    const std::string fileSeparator = CodePageFromUtf8(separator, codePage);
    for (std::size_t k = 0; k < series.Size(); ++k) {
        const long double time = series.RowTime(k, scale.FramesPerSecond);
        const long double value = AngleInTicks(series.Turned(k), scale.TicksPerTurn);
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

void WriteResultFile(const std::string& path, const ResultFields& fields,
                     const MeasuredSeries& series, std::string_view separator, int codePage) {
    const std::string bytes = ResultFileBytes(fields, series, separator, codePage);
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

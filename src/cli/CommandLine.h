#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// What a live measurement (--live) was asked for.
struct LiveOptions {
    std::string Device; // "/dev/video0", or "play:PATH" for a film played as a camera
    double LearnSeconds = 5;
    std::optional<double> DurationSeconds; // until interrupted when not given
    std::string RecordFile;
};

// What torvi-measure was asked to do.
struct CommandLine {
    std::vector<std::string> Inputs;
    int CentreX = 0;
    int CentreY = 0;
    std::optional<int> Radius;
    std::optional<std::pair<int, int>> Tip;
    bool LightHand = false;
    int Contrast = 60;
    std::string FramesPerSecond = "25";
    // False: a film is timed at its own rate instead.
    bool FramesPerSecondGiven = false;
    std::string TicksPerTurn = "360";
    std::string SampleName;
    std::string OutputFile;
    std::string OutputFolder;
    std::string ReferenceFile;
    std::string FramesFile;
    std::optional<int> CodePage; // the result file's; the locale's when not given
    bool Quiet = false;
    bool Fine = false;
    // Points on the dial's rim (--rim), five or more, for the fine angle.
    std::vector<std::pair<int, int>> Rim;
    bool Help = false;
    // A live measurement of a capture device instead of INPUTs.
    std::optional<LiveOptions> Live;
};

// A command line that cannot be used; its message says why.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads the arguments (without the program name). Throws UsageError.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

extern const char* const UsageText;
extern const char* const HelpText;

#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

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
    std::string TicksPerTurn = "360";
    std::string SampleName;
    std::string OutputFile;
    std::string OutputFolder;
    std::string ReferenceFile;
    std::string FramesFile;
    bool Quiet = false;
    bool Fine = false;
    bool Help = false;
};

// A command line that cannot be used; its message says why.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads the arguments (without the program name). Throws UsageError.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

extern const char* const UsageText;
extern const char* const HelpText;

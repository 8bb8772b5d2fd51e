#pragma once

#include "measurement/Measurement.h"
#include "windows/Obrazek_U.h"

// The program as start-up makes it: the measurement, then the main window
// on it (which creates the masking window, the graph window and the about
// box in that order). The main window is shown; destroying the program
// destroys the windows before the measurement they show.
struct ProgramWindows {
    ProgramWindows();
    ~ProgramWindows();

    torvi::Measurement Model;
    TObrazek Main;
};

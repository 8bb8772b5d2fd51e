#pragma once

#include "CommandLine.h"

// torvi-measure --live: learns the background of a capture device's picture,
// then measures every frame until the duration is over, the user interrupts
// (Ctrl+C) or a played film ends, and writes what was asked at the end.
// Returns the exit status: 0 when the run ended as asked, 1 when it could not
// start or the device failed (what was measured is written all the same).
int RunLiveMeasurement(const CommandLine& options);

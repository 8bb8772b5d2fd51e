#pragma once

#include <QString>

class TObrazek;

// Opens the film or picture named on torvi's command line (the menu entry's
// %f) as "Open" does when that file is chosen in the open dialog with the type
// of its extension, so the dialog later starts in its folder with that type.
// A file of a type the dialog does not list, or one that is not there, is
// reported in the error box and nothing is opened.
void OpenCommandLineFile(TObrazek& window, const QString& path);

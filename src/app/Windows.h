#pragma once

// Creates the program's windows in their order (main window, masking window,
// graph window, about box) and shows the main window.
void CreateWindows();
// Destroys them in reverse order.
void DestroyWindows();

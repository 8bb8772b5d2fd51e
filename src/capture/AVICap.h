#pragma once

#include "CaptureService.h"

namespace torvi::gui {

// Capture messages, with the values of the desktop's capture headers.
inline constexpr UINT WM_USER = 0x400;
inline constexpr UINT WM_CAP_DRIVER_CONNECT = WM_USER + 10;         // 0x40A
inline constexpr UINT WM_CAP_DRIVER_DISCONNECT = WM_USER + 11;      // 0x40B
inline constexpr UINT WM_CAP_FILE_SET_CAPTURE_FILEA = WM_USER + 20; // 0x414
inline constexpr UINT WM_CAP_SET_VIDEOFORMAT = WM_USER + 45;        // 0x42D
inline constexpr UINT WM_CAP_SET_OVERLAY = WM_USER + 51;            // 0x433
inline constexpr UINT WM_CAP_SEQUENCE = WM_USER + 62;               // 0x43E
inline constexpr UINT WM_CAP_STOP = WM_USER + 68;                   // 0x444

// One sending routine per capture message; each returns whether the message
// returned nonzero. Connecting, disconnecting, the video format and the
// overlay are sent only to a window that exists; the recording messages are
// sent as they are.
bool CapDriverConnect(HWND window, int driverIndex);
bool CapDriverDisconnect(HWND window);
bool CapFileSetCaptureFile(HWND window, const char* path);
bool CapSetVideoFormat(HWND window, const void* format, int size);
bool CapOverlay(HWND window, bool on);
bool CapCaptureSequence(HWND window);
bool CapCaptureStop(HWND window);

} // namespace torvi::gui

#include "AVICap.h"

namespace torvi::gui {

namespace {

LPARAM Pointer(const void* data) {
    return reinterpret_cast<LPARAM>(data);
}

} // namespace

bool CapDriverConnect(HWND window, int driverIndex) {
    return IsWindow(window) &&
           SendMessageA(window, WM_CAP_DRIVER_CONNECT, static_cast<WPARAM>(driverIndex), 0) != 0;
}

bool CapDriverDisconnect(HWND window) {
    return IsWindow(window) && SendMessageA(window, WM_CAP_DRIVER_DISCONNECT, 0, 0) != 0;
}

bool CapFileSetCaptureFile(HWND window, const char* path) {
    return SendMessageA(window, WM_CAP_FILE_SET_CAPTURE_FILEA, 0, Pointer(path)) != 0;
}

bool CapSetVideoFormat(HWND window, const void* format, int size) {
    return IsWindow(window) && SendMessageA(window, WM_CAP_SET_VIDEOFORMAT,
                                            static_cast<WPARAM>(size), Pointer(format)) != 0;
}

bool CapOverlay(HWND window, bool on) {
    // A true flag travels with all bits set.
    return IsWindow(window) &&
           SendMessageA(window, WM_CAP_SET_OVERLAY, on ? ~WPARAM{0} : WPARAM{0}, 0) != 0;
}

bool CapCaptureSequence(HWND window) {
    return SendMessageA(window, WM_CAP_SEQUENCE, 0, 0) != 0;
}

bool CapCaptureStop(HWND window) {
    return SendMessageA(window, WM_CAP_STOP, 0, 0) != 0;
}

} // namespace torvi::gui

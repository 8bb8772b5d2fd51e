#pragma once

#include "capture/CaptureSource.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QWidget;

namespace torvi::gui {

class CaptureWindowWidget;

// The capture service the capture dialog talks to, in the shape of a
// desktop's capture-window interface: capture windows are known by handles
// and driven by messages. Handles are never reused; 0 means none.
using HWND = std::uintptr_t;
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

inline constexpr std::uint32_t WS_CHILD = 0x40000000;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000;

// Creates a capture window as a child of `parent` at the given place and
// size; returns its handle, or 0 when it cannot be created.
HWND capCreateCaptureWindowA(const char* windowName, std::uint32_t style, int x, int y, int width,
                             int height, QWidget* parent, int id);
// Whether the handle names a capture window that still exists.
bool IsWindow(HWND window);
// Destroys the capture window; false when the handle names none.
bool DestroyWindow(HWND window);
// Hands the message to the capture window and returns its answer; 0 when the
// handle names no window. After an answer of 0, LastCaptureError says why.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
QString LastCaptureError();

// The widget behind a handle, or nullptr.
CaptureWindowWidget* CaptureWindowFromHandle(HWND window);

// The devices behind the driver numbers: the computer's cameras, unless
// other sources were set (the tests set FFmpeg's test picture). std::nullopt
// goes back to the cameras.
void SetCaptureDrivers(std::optional<std::vector<torvi::CaptureSource>> drivers);
std::vector<torvi::CaptureSource> CaptureDriverList();

// Sees every message sent with SendMessageA before it is delivered, so the
// tests can check what was sent in which order; an empty function stops it.
using MessageObserver = std::function<void(HWND, UINT, WPARAM, LPARAM)>;
void SetMessageObserver(MessageObserver observer);

} // namespace torvi::gui

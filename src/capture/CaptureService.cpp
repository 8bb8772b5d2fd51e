#include "CaptureService.h"

#include "CaptureWindowWidget.h"

#include <QPointer>

#include <map>

namespace torvi::gui {

namespace {

std::map<HWND, QPointer<CaptureWindowWidget>> windows;
HWND lastHandle = 0;
QString lastError;
std::optional<std::vector<torvi::CaptureSource>> chosenDrivers;
MessageObserver observer;

} // namespace

HWND capCreateCaptureWindowA(const char* windowName, std::uint32_t style, int x, int y, int width,
                             int height, QWidget* parent, int id) {
    if (width < 0 || height < 0) return 0;
    auto* window = new CaptureWindowWidget(parent);
    window->setObjectName(QString::fromLocal8Bit(windowName ? windowName : ""));
    window->setProperty("ControlId", id);
    window->setGeometry(x, y, width, height);
    if ((style & WS_VISIBLE) != 0) window->show();
    // Handles step by four, as window handles do, so that a stale handle is
    // never mistaken for a new window.
    lastHandle += 4;
    windows[lastHandle] = window;
    return lastHandle;
}

CaptureWindowWidget* CaptureWindowFromHandle(HWND window) {
    const auto found = windows.find(window);
    if (found == windows.end()) return nullptr;
    if (found->second.isNull()) {
        // Destroyed with its parent.
        windows.erase(found);
        return nullptr;
    }
    return found->second.data();
}

bool IsWindow(HWND window) {
    return CaptureWindowFromHandle(window) != nullptr;
}

bool DestroyWindow(HWND window) {
    CaptureWindowWidget* widget = CaptureWindowFromHandle(window);
    if (widget == nullptr) return false;
    windows.erase(window);
    delete widget;
    return true;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (observer) observer(window, message, wParam, lParam);
    CaptureWindowWidget* widget = CaptureWindowFromHandle(window);
    if (widget == nullptr) {
        lastError = QStringLiteral("There is no capture window");
        return 0;
    }
    const LRESULT result = widget->Dispatch(message, wParam, lParam);
    if (result == 0) lastError = widget->LastError();
    return result;
}

QString LastCaptureError() {
    return lastError;
}

void SetCaptureDrivers(std::optional<std::vector<torvi::CaptureSource>> drivers) {
    chosenDrivers = std::move(drivers);
}

std::vector<torvi::CaptureSource> CaptureDriverList() {
    return chosenDrivers ? *chosenDrivers : torvi::CaptureDrivers();
}

void SetMessageObserver(MessageObserver newObserver) {
    observer = std::move(newObserver);
}

} // namespace torvi::gui

#include "av/AvHandles.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavutil/log.h>
}

#include <cstdarg>
#include <mutex>
#include <utility>

namespace torvi::av {

namespace {

std::mutex logMutex;
std::string lastLogMessage;

void KeepLastError(void* avcl, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR) return;
    char line[512];
    int prefix = 0;
    av_log_format_line2(avcl, level, format, args, line, sizeof line, &prefix);
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    const std::lock_guard lock(logMutex);
    lastLogMessage = text;
}

} // namespace

std::string ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void InitFfmpeg() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_ERROR);
        av_log_set_callback(KeepLastError);
    });
}

std::string TakeLastLogMessage() {
    const std::lock_guard lock(logMutex);
    return std::exchange(lastLogMessage, {});
}

std::string Reason(int code) {
    std::string reason = TakeLastLogMessage();
    if (reason.empty() && code < 0) reason = ErrorText(code);
    return reason;
}

void InitCapture() {
    InitFfmpeg();
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
}

} // namespace torvi::av

#include "av/AvHandles.h"

extern "C" {
#include <libavdevice/version.h>
#include <libavutil/log.h>
#include <libavutil/macros.h>
}

#include <dlfcn.h>

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

std::string InitCapture() {
    InitFfmpeg();
    static std::once_flag once;
    static std::string problem;
    // FFmpeg's device library pulls in some eighty further libraries (sound
    // servers, X, SDL, OpenGL, ...). Loaded only when a device is used, it
    // costs a film measurement nothing: the program starts in half the time.
    std::call_once(once, [] {
        static constexpr const char* Library =
            "libavdevice.so." AV_STRINGIFY(LIBAVDEVICE_VERSION_MAJOR);
        void* library = dlopen(Library, RTLD_NOW | RTLD_GLOBAL);
        if (library == nullptr) {
            const char* why = dlerror();
            problem = std::string("FFmpeg's device library cannot be loaded (") +
                      (why ? why : Library) + ")";
            return;
        }
        void* symbol = dlsym(library, "avdevice_register_all");
        if (symbol == nullptr) {
            problem = std::string("FFmpeg's device library ") + Library +
                      " has no avdevice_register_all";
            return;
        }
        reinterpret_cast<void (*)()>(symbol)();
    });
    return problem;
}

} // namespace torvi::av

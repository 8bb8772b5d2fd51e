#include "capture/AvHandles.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavutil/log.h>
}

#include <mutex>

namespace torvi::av {

std::string ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void InitCapture() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The window program has no console; failures reach the user as
        // errors with their reason instead. A film reader that already keeps
        // FFmpeg's errors for its own messages keeps doing so.
        if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_QUIET);
        avdevice_register_all();
    });
}

} // namespace torvi::av

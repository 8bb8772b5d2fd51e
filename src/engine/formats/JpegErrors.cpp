#include "JpegErrors.h"

#include <jerror.h>

namespace torvi {

namespace {

[[noreturn]] void Leave(j_common_ptr info) {
    auto* error = reinterpret_cast<JpegErrorManager*>(info->err);
    std::longjmp(error->Jump, 1);
}

[[noreturn]] void ErrorExit(j_common_ptr info) {
    auto* error = reinterpret_cast<JpegErrorManager*>(info->err);
    (*info->err->format_message)(info, error->Message);
    Leave(info);
}

void EmitMessage(j_common_ptr info, int level) {
    if (level >= 0) return;
    const int code = info->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_HUFF_BAD_CODE)
        ErrorExit(info);
    info->err->num_warnings++;
}

void OutputMessage(j_common_ptr) {}

} // namespace

void UseJpegErrorManager(jpeg_decompress_struct& info, JpegErrorManager& error) {
    info.err = jpeg_std_error(&error.Base);
    error.Base.error_exit = ErrorExit;
    error.Base.emit_message = EmitMessage;
    error.Base.output_message = OutputMessage;
    error.Message[0] = '\0';
}

void LeaveJpeg(j_common_ptr info, const char* message) {
    auto* error = reinterpret_cast<JpegErrorManager*>(info->err);
    std::snprintf(error->Message, sizeof error->Message, "%s", message);
    Leave(info);
}

} // namespace torvi

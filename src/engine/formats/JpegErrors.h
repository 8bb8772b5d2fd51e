#pragma once

// jpeglib.h needs FILE and size_t declared before it.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

namespace torvi {

// libjpeg's error handling for the JPEG decoders of Torvi. libjpeg's
// callbacks must not throw: a fatal error leaves through the longjmp of the
// stage that called into libjpeg, and its message waits in Message. So does
// a warning that means the compressed data is cut short or damaged: libjpeg
// would go on and fill the rest with grey, and a measurement must not read a
// made-up picture. Other warnings are silent.
struct JpegErrorManager {
    jpeg_error_mgr Base; // first, so libjpeg's pointer is also ours
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

// Makes `error` the error manager of `info`, before jpeg_create_decompress.
void UseJpegErrorManager(jpeg_decompress_struct& info, JpegErrorManager& error);

// Leaves the libjpeg call in progress with `message`, as a fatal error does;
// for Torvi's own callbacks (a progress monitor).
[[noreturn]] void LeaveJpeg(j_common_ptr info, const char* message);

} // namespace torvi

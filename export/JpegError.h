// libjpeg's fatal errors as a jump back to the caller, for the JPEG writer and the image reader of
// palettes: error_exit must not return, so JpegErrorExit keeps the library's message and longjmps
// to the caller's jump buffer. No frame between the two may hold an object with a destructor.
// Warnings and traces are not printed.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace vorn::detail {

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

inline void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

inline void JpegOutputMessage(j_common_ptr) {}

} // namespace vorn::detail

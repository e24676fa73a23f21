#include "win_error.h"

#include <cstdio>
#include <cstring>

namespace {

std::string MessageFor(int code) {
    char text[256];
    // GNU strerror_r: returns the text, which may or may not be in `text`.
    const char* systemText = strerror_r(code, text, sizeof text);
    char message[512];
    std::snprintf(message, sizeof message, "System Error.  Code: %d.\r\n%s", code, systemText);
    return message;
}

}  // namespace

win_error::win_error(int code) : EOSError(MessageFor(code)), Code(code) {}

#include "SimLog.h"

#include <chrono>
#include <ctime>

namespace zqsim {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::string HexBytes(const uint8_t* data, size_t length) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(length * 3);
    for (size_t i = 0; i < length; ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 0x0F];
    }
    return text;
}

void SimLog::Bytes(const char* prefix, const uint8_t* data, size_t length) {
    if (stream_ != nullptr) {
        Line(std::string(prefix) + " " + HexBytes(data, length));
    }
}

void SimLog::Note(const std::string& text) {
    if (stream_ != nullptr) {
        Line(text);
    }
}

void SimLog::Line(const std::string& text) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const long ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    // One call per line: the devices of a fleet share the stream, and stdio
    // writes each call whole.
    std::fprintf(stream_, "%02d:%02d:%02d.%03ld %s%s%s\n", local.tm_hour, local.tm_min,
                 local.tm_sec, ms, tag_.c_str(), tag_.empty() ? "" : " ", text.c_str());
    std::fflush(stream_);
}

}  // namespace zqsim

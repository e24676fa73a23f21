#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zqsim {

// Time-stamped lines for --log: requests, answers and what happened on the
// line. A log without a stream writes nothing.
class SimLog {
public:
    SimLog() = default;
    // Does not own `stream`. A `tag` ("#3") goes between the time stamp and
    // the text of every line, to tell the devices of one log apart.
    explicit SimLog(std::FILE* stream, std::string tag = {})
        : stream_(stream), tag_(std::move(tag)) {}

    bool Enabled() const { return stream_ != nullptr; }
    // "hh:mm:ss.mmm <prefix> 01 11 C0 2C"
    void Bytes(const char* prefix, const uint8_t* data, size_t length);
    void Bytes(const char* prefix, const std::vector<uint8_t>& data) {
        Bytes(prefix, data.data(), data.size());
    }
    void Note(const std::string& text);

private:
    void Line(const std::string& text);

    std::FILE* stream_ = nullptr;
    std::string tag_;
};

std::string HexBytes(const uint8_t* data, size_t length);
// The value of a hex digit of either case; -1 for any other character.
int HexDigit(char c);

}  // namespace zqsim

#pragma once

#include "DeviceModel.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

// Request and answer frames for the simulator's tests.
inline std::vector<uint8_t> WithCrc(std::vector<uint8_t> bytes) {
    zqsim::AppendCrc(bytes);
    return bytes;
}

inline std::vector<uint8_t> ReadRegs(uint8_t address, uint8_t function, uint16_t start,
                                     uint16_t count) {
    return WithCrc({address, function, static_cast<uint8_t>(start >> 8),
                    static_cast<uint8_t>(start), static_cast<uint8_t>(count >> 8),
                    static_cast<uint8_t>(count)});
}

inline std::vector<uint8_t> WriteRegs(uint8_t address, uint16_t start,
                                      std::initializer_list<uint16_t> values) {
    std::vector<uint8_t> f{address,
                           16,
                           static_cast<uint8_t>(start >> 8),
                           static_cast<uint8_t>(start),
                           0,
                           static_cast<uint8_t>(values.size()),
                           static_cast<uint8_t>(2 * values.size())};
    for (uint16_t v : values) {
        f.push_back(static_cast<uint8_t>(v >> 8));
        f.push_back(static_cast<uint8_t>(v));
    }
    return WithCrc(f);
}

// Function 65: kind, 1, start low byte first, count.
inline std::vector<uint8_t> ReadArchive(uint8_t address, uint8_t kind, uint16_t start,
                                        uint8_t count) {
    return WithCrc({address, 65, kind, 1, static_cast<uint8_t>(start),
                    static_cast<uint8_t>(start >> 8), count});
}

inline uint16_t Be16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}

inline uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
    return (static_cast<uint32_t>(Be16(b, at)) << 16) | Be16(b, at + 2);
}

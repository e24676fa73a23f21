#pragma once

// Answers of a ZQ device, built byte by byte for the task tests.

#include "ArchiveStruct.h"
#include "ByteOrder.h"
#include "Crc16.h"
#include "CurrentParamsStruct.h"
#include "ParamsRegisters.h"
#include "SetupParamsStruct.h"

#include <array>
#include <cstdint>
#include <vector>

namespace answers {

using Bytes = std::vector<uint8_t>;
using Record = std::array<uint8_t, 16>;

inline Bytes WithCrc(Bytes frame) {
    const uint16_t crc = Crc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

inline Bytes Ident(uint8_t version = 1, const char* signature = "RORI") {
    Bytes f = {0, 0x11, 8};
    for (int i = 0; i < 4; ++i) {
        f.push_back(static_cast<uint8_t>(signature[i]));
    }
    f.insert(f.end(), {0x11, 0x22, version, 0x44});
    return WithCrc(f);
}

inline Bytes Exception(uint8_t function, uint8_t code) {
    return WithCrc({0, static_cast<uint8_t>(function | 0x80), code});
}

struct Ring {
    uint16_t h = 0, o = 0, n = 0;
};

// Current-parameter answer (function 4, 128 bytes) for `params` and the four
// rings (hourly, daily, monthly, journal).
inline Bytes CurrentParams(const CurrentParamsStruct& params,
                           const std::array<Ring, 4>& rings = {}) {
    uint8_t block[128] = {};
    EncodeCurrentParams(params, block);
    for (int k = 0; k < 4; ++k) {
        SetReg(block, 6 + 3 * k, rings[k].h);
        SetReg(block, 7 + 3 * k, rings[k].o);
        SetReg(block, 8 + 3 * k, rings[k].n);
    }
    ConvertByteOrder(block, kCurrentParamsConverted, CurrentParamsOrder, 2);
    Bytes f = {0, 4, 128};
    f.insert(f.end(), block, block + 128);
    return WithCrc(f);
}

inline Bytes SetupParams(const SetupParamsStruct& params) {
    uint8_t block[32] = {};
    EncodeSetupParams(params, block);
    ConvertByteOrder(block, kSetupParamsConverted, SetupParamsOrder, 1);
    Bytes f = {0, 3, 32};
    f.insert(f.end(), block, block + 32);
    return WithCrc(f);
}

// An archive record of a valid date whose bytes 4..7 carry `tag`.
inline Record ArchiveRecord(uint32_t tag, uint8_t day = 8) {
    Record r = {26, 12, day, 14, 0, 0, 0, 0, 0, 0, 0, 0, 60, 0, 0, 0};
    r[4] = static_cast<uint8_t>(tag & 0xFF);
    r[5] = static_cast<uint8_t>(tag >> 8);
    r[6] = static_cast<uint8_t>(tag >> 16);
    return r;
}

inline Record EmptySlot() {
    Record r;
    r.fill(0xFF);
    return r;
}

// Function-65 answer: kind, next start index (low byte first), the records.
inline Bytes Archive(uint8_t kind, uint16_t nextStart, const std::vector<Record>& records) {
    Bytes f = {0,
               65,
               kind,
               0,
               static_cast<uint8_t>(nextStart & 0xFF),
               static_cast<uint8_t>(nextStart >> 8),
               static_cast<uint8_t>(records.size())};
    for (const Record& r : records) {
        f.insert(f.end(), r.begin(), r.end());
    }
    return WithCrc(f);
}

inline std::vector<Record> Records(int count, uint32_t firstTag, const Record* fill = nullptr) {
    std::vector<Record> v;
    for (int i = 0; i < count; ++i) {
        v.push_back(fill ? *fill : ArchiveRecord(firstTag + i));
    }
    return v;
}

}  // namespace answers

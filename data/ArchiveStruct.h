#pragma once

#include <cstdint>
#include <cstring>

namespace ZQ_namespace {

// Kind of an archive or journal list; also the kind byte of the device's
// archive request (function 65).
enum ArchiveKind : int32_t { akHour = 0, akDay = 1, akMonth = 2, akJournal = 3 };

// Little-endian readers for record fields; records are stored exactly as the
// device sent them, so nothing here depends on the host's byte order.
inline uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t ReadLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline float ReadLeFloat(const uint8_t* p) {
    const uint32_t bits = ReadLe32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// True for a slot of the device's ring that holds no record: its first four
// bytes all 0x00 (skipped page) or all 0xFF (erased page).
inline bool IsEmptySlot(const uint8_t* record) {
    const bool zeros = record[0] == 0 && record[1] == 0 && record[2] == 0 && record[3] == 0;
    const bool ones =
        record[0] == 0xFF && record[1] == 0xFF && record[2] == 0xFF && record[3] == 0xFF;
    return zeros || ones;
}

// One hourly, daily or monthly archive record, 16 bytes as the device sends it.
struct ArchiveStruct {
    uint8_t year;         // year - 2000
    uint8_t month;        // 1..12
    uint8_t day;          // day of month
    uint8_t hour;         // 0..23, hourly records only (shown as hour + 1)
    uint8_t vPlus[4];     // V+, m3, IEEE 754 single, little-endian
    uint8_t vMinus[4];    // V-, m3, single, little-endian
    uint8_t workTime[3];  // operating time, minutes, 24-bit little-endian
    uint8_t flags;        // status flags in bits 0..3

    float VPlus() const { return ReadLeFloat(vPlus); }
    float VMinus() const { return ReadLeFloat(vMinus); }
    uint32_t WorkTime() const {
        return workTime[0] | (workTime[1] << 8) | (static_cast<uint32_t>(workTime[2]) << 16);
    }
    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(this); }
    bool operator==(const ArchiveStruct& other) const {
        return std::memcmp(this, &other, sizeof *this) == 0;
    }
};
static_assert(sizeof(ArchiveStruct) == 16);

}  // namespace ZQ_namespace

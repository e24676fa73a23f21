#pragma once

#include "ArchiveStruct.h"

namespace ZQ_namespace {

// One event journal record, 16 bytes as the device sends it.
struct JournalStruct {
    uint8_t year;  // year - 2000
    uint8_t month;
    uint8_t day;
    uint8_t hour;
    uint8_t minute;
    uint8_t second;
    uint8_t code[2];      // bits 0..11 event code, bits 12..15 value type; little-endian
    uint8_t oldValue[4];  // value before the event, read by the value type
    uint8_t newValue[4];  // value after the event

    uint16_t Code() const { return ReadLe16(code); }
    int EventCode() const { return Code() & 0x0FFF; }
    int ValueType() const { return Code() >> 12; }
    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(this); }
    bool operator==(const JournalStruct& other) const {
        return std::memcmp(this, &other, sizeof *this) == 0;
    }
};
static_assert(sizeof(JournalStruct) == 16);

}  // namespace ZQ_namespace

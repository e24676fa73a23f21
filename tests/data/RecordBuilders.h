// Building raw device records and fixing the date and time separators for
// the tests of the data model, the decoders and the archive file.
#pragma once

#include "ArchiveStruct.h"
#include "DateTime.h"
#include "JournalStruct.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>

// Sets the separators of DefaultFormatSettings() for one test and restores
// the previous ones afterwards.
class ScopedSeparators {
public:
    ScopedSeparators(char date, char time) : saved_(DefaultFormatSettings()) {
        DefaultFormatSettings().DateSeparator = date;
        DefaultFormatSettings().TimeSeparator = time;
    }
    ~ScopedSeparators() { DefaultFormatSettings() = saved_; }
    ScopedSeparators(const ScopedSeparators&) = delete;
    ScopedSeparators& operator=(const ScopedSeparators&) = delete;

private:
    FormatSettings saved_;
};

// Dates and times the tests know to be valid.
inline TDateTime DateOf(int year, int month, int day) {
    TDateTime value = 0;
    TryEncodeDate(year, month, day, value);
    return value;
}

inline TDateTime TimeOf(int hour, int minute, int second) {
    TDateTime value = 0;
    TryEncodeTime(hour, minute, second, 0, value);
    return value;
}

inline void PutLe16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

inline void PutLe32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

inline void PutLeFloat(uint8_t* p, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    PutLe32(p, bits);
}

// A 16-byte record from its leading bytes; the rest are zero.
template <class Record>
Record RecordOf(std::initializer_list<uint8_t> bytes) {
    static_assert(sizeof(Record) == 16);
    uint8_t raw[16] = {};
    size_t i = 0;
    for (uint8_t b : bytes) {
        if (i < sizeof raw) {
            raw[i++] = b;
        }
    }
    Record record;
    std::memcpy(&record, raw, sizeof record);
    return record;
}

inline ZQ_namespace::ArchiveStruct ArchiveRecord(uint8_t year, uint8_t month, uint8_t day,
                                                 uint8_t hour, float vPlus, float vMinus,
                                                 uint32_t workMinutes, uint8_t flags) {
    ZQ_namespace::ArchiveStruct r = RecordOf<ZQ_namespace::ArchiveStruct>({year, month, day, hour});
    PutLeFloat(r.vPlus, vPlus);
    PutLeFloat(r.vMinus, vMinus);
    r.workTime[0] = static_cast<uint8_t>(workMinutes);
    r.workTime[1] = static_cast<uint8_t>(workMinutes >> 8);
    r.workTime[2] = static_cast<uint8_t>(workMinutes >> 16);
    r.flags = flags;
    return r;
}

// A journal record stamped 8 December 2026 14:05:09 unless changed later.
inline ZQ_namespace::JournalStruct JournalRecord(int valueType, int event, uint32_t oldValue,
                                                 uint32_t newValue) {
    ZQ_namespace::JournalStruct r = RecordOf<ZQ_namespace::JournalStruct>({26, 12, 8, 14, 5, 9});
    PutLe16(r.code, static_cast<uint16_t>((valueType << 12) | (event & 0x0FFF)));
    PutLe32(r.oldValue, oldValue);
    PutLe32(r.newValue, newValue);
    return r;
}

inline uint32_t FloatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

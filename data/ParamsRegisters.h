#pragma once

#include "ByteOrder.h"
#include "CurrentParamsStruct.h"
#include "SetupParamsStruct.h"

#include <cstdint>

// Current-parameter block: 64 input registers from 30001 (function 4). After
// CurrentParamsOrder over 56 registers, registers 0..31 are 16-bit values and
// 32..55 twelve 32-bit values, all in PC (little-endian) byte order.
constexpr uint16_t kCurrentParamsRegs = 30001;
constexpr uint16_t kCurrentParamsCount = 64;
constexpr int kCurrentParamsConverted = 56;
constexpr int kCurrentParamsBytes = 128;

// Setup-parameter block: 16 holding registers from 40001 (function 3),
// SetupParamsOrder over 11 registers.
constexpr uint16_t kSetupParamsRegs = 40001;
constexpr uint16_t kSetupParamsCount = 16;
constexpr int kSetupParamsConverted = 11;
constexpr int kSetupParamsBytes = 32;

// Holding registers written by the write tasks.
constexpr uint16_t kClockReg = 40001;         // 6 registers: yy, mm, dd, hh, nn, ss
constexpr uint16_t kClearArchiveReg = 40007;  // 1 = clear counters and archives
constexpr uint16_t kNetAddressReg = 40008;    // then CalibrationCode, TestCode, TestMode

extern const ByteOrderEntry CurrentParamsOrder[2];
extern const ByteOrderEntry SetupParamsOrder[1];

// Register i of a block in PC byte order.
uint16_t GetReg(const uint8_t* regs, int index);
void SetReg(uint8_t* regs, int index, uint16_t value);

// `regs` holds at least 112 bytes (56 registers) in PC byte order. Always true.
bool DecodeCurrentParams(const uint8_t* regs, CurrentParamsStruct& record);
// Writes registers 0..5, 18..20 and 32..55; leaves the others as they are.
void EncodeCurrentParams(const CurrentParamsStruct& record, uint8_t* regs);

// `regs` holds at least 22 bytes (11 registers) in PC byte order. Always true.
bool DecodeSetupParams(const uint8_t* regs, SetupParamsStruct& record);
bool EncodeSetupParams(const SetupParamsStruct& record, uint8_t* regs);

// One archive ring as the device reports it: a ring of highest + 1 slots.
// All arithmetic is 16-bit unsigned, as on the device.
struct ArchiveRing {
    uint16_t highest = 0;  // highest slot index h
    uint16_t oldest = 0;   // index of the oldest record o
    uint16_t next = 0;     // index the next record goes to n

    // n - 1 when n > 0, else h.
    uint16_t NewestIndex() const;
    // n - o when n >= o, else h - o + n + 1.
    uint16_t RecordCount() const;
};

// Ring of an archive kind (0 hourly, 1 daily, 2 monthly, 3 journal) from
// registers 6..17 of a converted current-parameter block.
ArchiveRing GetArchiveRing(const uint8_t* regs, int kind);

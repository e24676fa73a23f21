#pragma once

#include <cstdint>

// The device sends registers big-endian and 32-bit values as two registers,
// high-order register first; the PC works little-endian. A byte-order table
// describes a register block as runs of items:
//   kind 0  one 16-bit register            -> its two bytes swapped
//   kind 1  one 32-bit value, 2 registers  -> all four bytes reversed
//   kind 2  one register of two bytes      -> unchanged
//   other   ends the conversion
struct ByteOrderEntry {
    int32_t kind;
    uint16_t count;
};

uint16_t Swap16(uint16_t value);

// Reverses the four bytes at `regs` in place (two registers).
void Swap32(uint8_t* regs);

// Converts `regCount` registers of `block` in place by walking `table`. Stops
// at the end of the table or after `regCount` registers, whichever comes
// first. Every conversion is its own inverse, so the same call serves device
// to PC and PC to device. `block` needs no alignment.
void ConvertByteOrder(uint8_t* block, int regCount, const ByteOrderEntry* table, int rowCount);

#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16/MODBUS: reflected polynomial 0xA001, initial value 0xFFFF, no final
// XOR. In a frame the CRC follows the data, low byte first.

// Next CRC after one more byte.
uint16_t Crc16Update(uint16_t crc, uint8_t byte);

// CRC of `length` bytes; 0xFFFF for an empty block.
uint16_t Crc16(const uint8_t* data, size_t length);

// True when the last two of `length` bytes hold, low byte first, the CRC of
// the bytes before them. Blocks shorter than 3 bytes never pass.
bool CheckFrameCrc(const uint8_t* data, size_t length);

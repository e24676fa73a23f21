#pragma once

#include <cstdint>
#include <string>

// Request frames of Modbus RTU: address, function, function-specific part with
// multi-byte numbers high byte first, CRC-16 low byte first.
//
// Every builder takes the buffer and an in/out length: on entry the buffer's
// capacity, on return the frame length. When the capacity is too small the
// builder stores the length it needs, writes nothing and returns false, so a
// caller may ask for the size first.
//
// Register numbers are given in their documented five-digit form (3xxxx input
// registers, 4xxxx holding registers); on the wire the address is
// (number mod 10000) - 1, so 30001 and 40001 both address register 0.

constexpr uint8_t kFuncReadHolding = 3;
constexpr uint8_t kFuncReadInput = 4;
constexpr uint8_t kFuncWriteMultiple = 16;
constexpr uint8_t kFuncReportSlaveId = 17;
constexpr uint8_t kFuncArchive = 65;  // the device's own archive and journal read

// Function 17 (report slave id); 4 bytes.
bool BuildReportSlaveId(uint8_t* buffer, int& length, uint8_t address);

// Function 4 when regNumber div 10000 is 3, else function 3; 8 bytes.
bool BuildReadRegisters(uint8_t* buffer, int& length, uint8_t address, uint16_t regNumber,
                        uint16_t count);

// Function 16; 2 * count + 9 bytes. `data` holds 2 * count bytes already in
// device byte order. At most 123 registers: a frame over 255 bytes is refused
// (the needed length is still reported).
bool BuildWriteRegisters(uint8_t* buffer, int& length, uint8_t address, const uint8_t* data,
                         uint16_t regNumber, uint16_t count);

// Any function with its data bytes unchanged; dataLength + 4 bytes. A
// negative dataLength, or one above INT_MAX - 4, is refused without touching
// `length`.
bool BuildFunctionFrame(uint8_t* buffer, int& length, uint8_t address, uint8_t function,
                        const uint8_t* data, int dataLength);

// Text of a Modbus exception code (third byte of an exception answer).
std::string ModbusErrorText(int code);

#pragma once

#include "CurrentParamsStruct.h"
#include "SetupParamsStruct.h"

#include <cstdint>
#include <string>

// Checks of answer contents shared by the tasks. The answer has passed
// ZQTask::CheckAnswer (packet id, CRC, no exception). Every check reads only
// the `length` bytes received.

inline constexpr const char* kTextUnknownDevice = "Неизвестный тип прибора";
inline constexpr const char* kTextUnknownVersion = "Неизвестная версия прибора";
inline constexpr const char* kTextBadDataCount = "Неверное количество данных в ответе от прибора";
// A well-formed answer that is not the answer to the request sent (another
// address, function, kind, echo or ring index).
inline constexpr const char* kTextWrongAnswer = "Ответ прибора не соответствует запросу";
// An answer whose header asks for more bytes than the channel's buffer holds.
inline constexpr const char* kTextAnswerTooLong = "Ответ прибора длиннее буфера (512 байт)";

// Identification answer of function 17: bytes 3..6 "RORI", bytes 7..10 the
// identification, byte 9 the version (0 or 1 known). Returns the error text,
// empty when the device is known. `ident`, when given, receives bytes 7..10
// as soon as the signature matched (also when the version is refused).
std::string CheckIdentAnswer(const uint8_t* data, int length, uint8_t* ident);

// Register-read answer (functions 3 and 4): address, function, byte count,
// data, CRC. True when the byte count is `byteCount` and the data bytes are
// all there; they are copied into `block`.
bool CopyRegisterData(const uint8_t* data, int length, int byteCount, uint8_t* block);

// Current-parameter answer (128 data bytes): converted to PC byte order into
// `block` (128 bytes) and decoded into `record`. False on a wrong byte count.
bool DecodeCurrentParamsAnswer(const uint8_t* data, int length, uint8_t* block,
                               CurrentParamsStruct& record);

// Setup-parameter answer (32 data bytes), likewise; `block` holds 32 bytes.
bool DecodeSetupParamsAnswer(const uint8_t* data, int length, uint8_t* block,
                             SetupParamsStruct& record);

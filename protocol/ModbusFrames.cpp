#include "ModbusFrames.h"

#include "Crc16.h"

#include <cstring>
#include <limits>

namespace {

// Checks the capacity; on success the frame length is stored in `length`.
bool Reserve(int& length, int needed) {
    const bool fits = length >= needed;
    length = needed;
    return fits;
}

void PutBigEndian(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value & 0xFF);
}

// Appends the CRC of the first `dataLength` bytes behind them.
void AppendCrc(uint8_t* buffer, int dataLength) {
    const uint16_t crc = Crc16(buffer, static_cast<size_t>(dataLength));
    buffer[dataLength] = static_cast<uint8_t>(crc & 0xFF);
    buffer[dataLength + 1] = static_cast<uint8_t>(crc >> 8);
}

uint16_t WireAddress(uint16_t regNumber) {
    return static_cast<uint16_t>(regNumber % 10000 - 1);
}

}  // namespace

bool BuildReportSlaveId(uint8_t* buffer, int& length, uint8_t address) {
    if (!Reserve(length, 4)) {
        return false;
    }
    buffer[0] = address;
    buffer[1] = kFuncReportSlaveId;
    AppendCrc(buffer, 2);
    return true;
}

bool BuildReadRegisters(uint8_t* buffer, int& length, uint8_t address, uint16_t regNumber,
                        uint16_t count) {
    if (!Reserve(length, 8)) {
        return false;
    }
    buffer[0] = address;
    buffer[1] = (regNumber / 10000 == 3) ? kFuncReadInput : kFuncReadHolding;
    PutBigEndian(buffer + 2, WireAddress(regNumber));
    PutBigEndian(buffer + 4, count);
    AppendCrc(buffer, 6);
    return true;
}

bool BuildWriteRegisters(uint8_t* buffer, int& length, uint8_t address, const uint8_t* data,
                         uint16_t regNumber, uint16_t count) {
    const int needed = 2 * count + 9;
    const bool fits = length >= needed;
    length = needed;
    if (needed > 255 || !fits) {
        return false;
    }
    buffer[0] = address;
    buffer[1] = kFuncWriteMultiple;
    PutBigEndian(buffer + 2, WireAddress(regNumber));
    PutBigEndian(buffer + 4, count);
    buffer[6] = static_cast<uint8_t>(2 * count);
    if (count > 0) {
        std::memcpy(buffer + 7, data, 2u * count);
    }
    AppendCrc(buffer, 7 + 2 * count);
    return true;
}

bool BuildFunctionFrame(uint8_t* buffer, int& length, uint8_t address, uint8_t function,
                        const uint8_t* data, int dataLength) {
    // A negative length, or one whose frame size would not fit an int, makes
    // no frame at all: refused with `length` left as it is.
    if (dataLength < 0 || dataLength > std::numeric_limits<int>::max() - 4) {
        return false;
    }
    if (!Reserve(length, dataLength + 4)) {
        return false;
    }
    buffer[0] = address;
    buffer[1] = function;
    if (dataLength > 0) {
        std::memcpy(buffer + 2, data, static_cast<size_t>(dataLength));
    }
    AppendCrc(buffer, 2 + dataLength);
    return true;
}

std::string ModbusErrorText(int code) {
    switch (code) {
        case 0:
            return "Общая ошибка(без конкретизации причины)";
        case 1:
            return "Недопустимый(неподдерживаемый) номер функции";
        case 2:
            return "Недопустимый(неверный) номер регистра";
        case 3:
            return "Недопустимое значение в поле данных";
        case 4:
            return "Внутренняя ошибка прибора";
        case 6:
            return "Устройство занято";
        case 7:
            return "Доступ к регистру закрыт";
        default:
            return "Неизвестная ошибка";
    }
}

#include "DeviceAnswers.h"

#include "ParamsRegisters.h"

#include <cstring>

namespace {
// Address, function, byte count, "RORI", four identification bytes, CRC.
constexpr int kIdentAnswerLength = 13;
}  // namespace

std::string CheckIdentAnswer(const uint8_t* data, int length, uint8_t* ident) {
    if (length < kIdentAnswerLength) {
        return kTextBadDataCount;
    }
    if (std::memcmp(data + 3, "RORI", 4) != 0) {
        return kTextUnknownDevice;
    }
    if (ident != nullptr) {
        std::memcpy(ident, data + 7, 4);
    }
    const uint8_t version = data[9];
    return version <= 1 ? std::string() : std::string(kTextUnknownVersion);
}

bool CopyRegisterData(const uint8_t* data, int length, int byteCount, uint8_t* block) {
    if (length < 3 || data[2] != byteCount || length < 3 + byteCount + 2) {
        return false;
    }
    std::memcpy(block, data + 3, static_cast<size_t>(byteCount));
    return true;
}

bool DecodeCurrentParamsAnswer(const uint8_t* data, int length, uint8_t* block,
                               CurrentParamsStruct& record) {
    if (!CopyRegisterData(data, length, kCurrentParamsBytes, block)) {
        return false;
    }
    ConvertByteOrder(block, kCurrentParamsConverted, CurrentParamsOrder, 2);
    return DecodeCurrentParams(block, record);
}

bool DecodeSetupParamsAnswer(const uint8_t* data, int length, uint8_t* block,
                             SetupParamsStruct& record) {
    if (!CopyRegisterData(data, length, kSetupParamsBytes, block)) {
        return false;
    }
    ConvertByteOrder(block, kSetupParamsConverted, SetupParamsOrder, 1);
    return DecodeSetupParams(block, record);
}

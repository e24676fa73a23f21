#include "ParamsRegisters.h"

#include <cmath>
#include <cstring>

const ByteOrderEntry CurrentParamsOrder[2] = {{0, 32}, {1, 20}};
const ByteOrderEntry SetupParamsOrder[1] = {{0, 16}};

uint16_t GetReg(const uint8_t* regs, int index) {
    return static_cast<uint16_t>(regs[2 * index] | (regs[2 * index + 1] << 8));
}

void SetReg(uint8_t* regs, int index, uint16_t value) {
    regs[2 * index] = static_cast<uint8_t>(value & 0xFF);
    regs[2 * index + 1] = static_cast<uint8_t>(value >> 8);
}

namespace {

// A 32-bit value in two converted registers: the four bytes in PC order.
uint32_t GetReg32(const uint8_t* regs, int index) {
    return static_cast<uint32_t>(GetReg(regs, index)) |
           (static_cast<uint32_t>(GetReg(regs, index + 1)) << 16);
}

void SetReg32(uint8_t* regs, int index, uint32_t value) {
    SetReg(regs, index, static_cast<uint16_t>(value & 0xFFFF));
    SetReg(regs, index + 1, static_cast<uint16_t>(value >> 16));
}

float GetRegFloat(const uint8_t* regs, int index) {
    const uint32_t bits = GetReg32(regs, index);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void SetRegFloat(uint8_t* regs, int index, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    SetReg32(regs, index, bits);
}

// Clock registers 0..5 (year - 2000, month, day, hour, minute, second). The
// date is formed first: an invalid date changes neither field; an invalid
// time leaves Time as it was.
void DecodeClock(const uint8_t* regs, TDateTime& date, TDateTime& time) {
    TDateTime d = 0;
    if (!TryEncodeDate(GetReg(regs, 0) + 2000, GetReg(regs, 1), GetReg(regs, 2), d)) {
        return;
    }
    date = d;
    TDateTime t = 0;
    if (TryEncodeTime(GetReg(regs, 3), GetReg(regs, 4), GetReg(regs, 5), 0, t)) {
        time = t;
    }
}

void EncodeClock(TDateTime date, TDateTime time, uint8_t* regs) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
    DecodeDate(date, year, month, day);
    DecodeTime(time, hour, minute, second, ms);
    SetReg(regs, 0, static_cast<uint16_t>(((year % 100) + 100) % 100));
    SetReg(regs, 1, static_cast<uint16_t>(month));
    SetReg(regs, 2, static_cast<uint16_t>(day));
    SetReg(regs, 3, static_cast<uint16_t>(hour));
    SetReg(regs, 4, static_cast<uint16_t>(minute));
    SetReg(regs, 5, static_cast<uint16_t>(second));
}

// Volume as a 32-bit unsigned integer part and a float fraction. The integer
// part is the value truncated toward zero, kept within the 32-bit range.
void EncodeVolume(double volume, uint8_t* regs, int index) {
    double whole = std::isfinite(volume) ? std::trunc(volume) : 0.0;
    if (whole < 0) {
        whole = 0;
    } else if (whole > 4294967295.0) {
        whole = 4294967295.0;
    }
    SetReg32(regs, index, static_cast<uint32_t>(whole));
    SetRegFloat(regs, index + 2, static_cast<float>(volume - whole));
}

}  // namespace

bool DecodeCurrentParams(const uint8_t* regs, CurrentParamsStruct& record) {
    DecodeClock(regs, record.Date, record.Time);
    record.DuIndex = GetReg(regs, 19);
    record.CurrentCode = GetReg(regs, 20);
    record.NSFlags = static_cast<uint8_t>(GetReg(regs, 18) & 0xFF);
    record.Serial = GetReg32(regs, 32);
    record.Ton = GetReg32(regs, 34);
    record.Twork = GetReg32(regs, 36);
    record.ImpulseWeight = GetRegFloat(regs, 38);
    record.ImpulseLength = GetRegFloat(regs, 40);
    record.G = GetRegFloat(regs, 42);
    record.Gmin = GetRegFloat(regs, 44);
    record.Gmax = GetRegFloat(regs, 46);
    record.Vd =
        static_cast<double>(GetReg32(regs, 48)) + static_cast<double>(GetRegFloat(regs, 50));
    record.Vr =
        static_cast<double>(GetReg32(regs, 52)) + static_cast<double>(GetRegFloat(regs, 54));
    return true;
}

void EncodeCurrentParams(const CurrentParamsStruct& record, uint8_t* regs) {
    EncodeClock(record.Date, record.Time, regs);
    SetReg(regs, 18, record.NSFlags);
    SetReg(regs, 19, record.DuIndex);
    SetReg(regs, 20, record.CurrentCode);
    SetReg32(regs, 32, record.Serial);
    SetReg32(regs, 34, record.Ton);
    SetReg32(regs, 36, record.Twork);
    SetRegFloat(regs, 38, record.ImpulseWeight);
    SetRegFloat(regs, 40, record.ImpulseLength);
    SetRegFloat(regs, 42, record.G);
    SetRegFloat(regs, 44, record.Gmin);
    SetRegFloat(regs, 46, record.Gmax);
    EncodeVolume(record.Vd, regs, 48);
    EncodeVolume(record.Vr, regs, 52);
}

bool DecodeSetupParams(const uint8_t* regs, SetupParamsStruct& record) {
    record.NetAddress = static_cast<uint8_t>(GetReg(regs, 7) & 0xFF);
    record.CalibrationCode = GetReg(regs, 8);
    record.TestCode = GetReg(regs, 9);
    record.TestMode = static_cast<uint8_t>(GetReg(regs, 10) & 0xFF);
    record.ClearArchive = GetReg(regs, 6) != 0 ? 1 : 0;
    DecodeClock(regs, record.Date, record.Time);
    return true;
}

bool EncodeSetupParams(const SetupParamsStruct& record, uint8_t* regs) {
    SetReg(regs, 7, record.NetAddress);
    SetReg(regs, 8, record.CalibrationCode);
    SetReg(regs, 9, record.TestCode);
    SetReg(regs, 10, record.TestMode);
    SetReg(regs, 6, record.ClearArchive);
    EncodeClock(record.Date, record.Time, regs);
    return true;
}

uint16_t ArchiveRing::NewestIndex() const {
    return next > 0 ? static_cast<uint16_t>(next - 1) : highest;
}

uint16_t ArchiveRing::RecordCount() const {
    return next >= oldest ? static_cast<uint16_t>(next - oldest)
                          : static_cast<uint16_t>(highest - oldest + next + 1);
}

ArchiveRing GetArchiveRing(const uint8_t* regs, int kind) {
    const int base = 6 + 3 * kind;
    return ArchiveRing{GetReg(regs, base), GetReg(regs, base + 1), GetReg(regs, base + 2)};
}

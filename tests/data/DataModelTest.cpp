// The device data model: both register blocks through the real byte-order
// conversion, the device clock's invalid values, the ring pointers, and
// ZQValve's Clear, copy and comparison.
#include "ParamsRegisters.h"
#include "ParamsTexts.h"
#include "RecordBuilders.h"
#include "ZQValve.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace ZQ_namespace;

namespace {

ZQ_PRINT_CASES_BY_NAME

using Block = std::vector<uint8_t>;

void ToDevice(Block& block, const ByteOrderEntry* table, int rows, int regs) {
    ConvertByteOrder(block.data(), regs, table, rows);
}

void CurrentToPc(Block& block) {
    ToDevice(block, CurrentParamsOrder, static_cast<int>(std::size(CurrentParamsOrder)),
             kCurrentParamsConverted);
}

void SetupToPc(Block& block) {
    ToDevice(block, SetupParamsOrder, static_cast<int>(std::size(SetupParamsOrder)),
             kSetupParamsConverted);
}

// Register `index` of a device-order block, big-endian.
uint16_t DeviceReg(const Block& block, int index) {
    return static_cast<uint16_t>((block[2 * index] << 8) | block[2 * index + 1]);
}

void SetDeviceReg(Block& block, int index, uint16_t value) {
    block[2 * index] = static_cast<uint8_t>(value >> 8);
    block[2 * index + 1] = static_cast<uint8_t>(value);
}

// A 32-bit value over two device registers, high-order register first.
uint32_t DeviceReg32(const Block& block, int index) {
    return (static_cast<uint32_t>(DeviceReg(block, index)) << 16) | DeviceReg(block, index + 1);
}

void SetDeviceReg32(Block& block, int index, uint32_t value) {
    SetDeviceReg(block, index, static_cast<uint16_t>(value >> 16));
    SetDeviceReg(block, index + 1, static_cast<uint16_t>(value));
}

CurrentParamsStruct SampleCurrent() {
    CurrentParamsStruct c;
    c.Date = DateOf(2026, 12, 8);
    c.Time = TimeOf(14, 5, 9);
    c.DuIndex = 9;
    c.CurrentCode = 12345;
    c.Serial = 0x01020304;
    c.Ton = 100000;
    c.Twork = 99999;
    c.ImpulseWeight = 2.5f;
    c.ImpulseLength = 50.0f;
    c.G = 1.5f;
    c.Gmin = 0.125f;
    c.Gmax = 80.0f;
    c.Vd = 123.75;
    c.Vr = 4000000000.5;
    c.NSFlags = 0x0B;
    return c;
}

TEST(CurrentParams, EncodesToDeviceRegisterMap) {
    // Registers the record does not own keep what they held.
    Block block(kCurrentParamsBytes, 0xAB);
    EncodeCurrentParams(SampleCurrent(), block.data());
    CurrentToPc(block);  // PC to device: the conversion is its own inverse

    const uint16_t clock[6] = {26, 12, 8, 14, 5, 9};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(DeviceReg(block, i), clock[i]) << "clock register " << i;
    }
    for (int i = 6; i < 18; ++i) {
        EXPECT_EQ(DeviceReg(block, i), 0xABAB) << "ring register " << i;
    }
    EXPECT_EQ(DeviceReg(block, 18), 0x000B) << "NSFlags zero-extended";
    EXPECT_EQ(DeviceReg(block, 19), 9);
    EXPECT_EQ(DeviceReg(block, 20), 12345);
    for (int i = 21; i < 32; ++i) {
        EXPECT_EQ(DeviceReg(block, i), 0xABAB) << "unused register " << i;
    }
    EXPECT_EQ(Block(block.begin() + 64, block.begin() + 68), (Block{1, 2, 3, 4}))
        << "Serial, high-order register first";
    EXPECT_EQ(DeviceReg32(block, 34), 100000u);
    EXPECT_EQ(DeviceReg32(block, 36), 99999u);
    EXPECT_EQ(DeviceReg32(block, 38), FloatBits(2.5f));
    EXPECT_EQ(DeviceReg32(block, 40), FloatBits(50.0f));
    EXPECT_EQ(DeviceReg32(block, 42), FloatBits(1.5f));
    EXPECT_EQ(DeviceReg32(block, 44), FloatBits(0.125f));
    EXPECT_EQ(DeviceReg32(block, 46), FloatBits(80.0f));
    EXPECT_EQ(DeviceReg32(block, 48), 123u) << "V+ whole part";
    EXPECT_EQ(DeviceReg32(block, 50), FloatBits(0.75f)) << "V+ fraction";
    EXPECT_EQ(DeviceReg32(block, 52), 4000000000u);
    EXPECT_EQ(DeviceReg32(block, 54), FloatBits(0.5f));
    for (int i = 112; i < kCurrentParamsBytes; ++i) {
        EXPECT_EQ(block[i], 0xAB) << "byte " << i << " is beyond the converted registers";
    }
}

TEST(CurrentParams, DecodesDeviceBlock) {
    Block block(kCurrentParamsBytes, 0);
    const uint16_t clock[6] = {28, 2, 29, 23, 59, 58};
    for (int i = 0; i < 6; ++i) {
        SetDeviceReg(block, i, clock[i]);
    }
    SetDeviceReg(block, 18, 0xFF05);  // only the low-order byte is NSFlags
    SetDeviceReg(block, 19, 10);
    SetDeviceReg(block, 20, 20000);
    SetDeviceReg32(block, 32, 123456789);
    SetDeviceReg32(block, 42, FloatBits(-3.25f));
    SetDeviceReg32(block, 48, 7);
    SetDeviceReg32(block, 50, FloatBits(0.5f));
    SetDeviceReg32(block, 52, 0xFFFFFFFF);
    SetDeviceReg32(block, 54, FloatBits(0.25f));
    CurrentToPc(block);

    CurrentParamsStruct c;
    EXPECT_TRUE(DecodeCurrentParams(block.data(), c));
    EXPECT_EQ(c.Date, DateOf(2028, 2, 29));
    EXPECT_EQ(c.Time, TimeOf(23, 59, 58));
    EXPECT_EQ(c.NSFlags, 0x05);
    EXPECT_EQ(c.DuIndex, 10);
    EXPECT_EQ(c.CurrentCode, 20000);
    EXPECT_EQ(c.Serial, 123456789u);
    EXPECT_EQ(c.G, -3.25f);
    EXPECT_EQ(c.Vd, 7.5);
    EXPECT_EQ(c.Vr, 4294967295.25) << "whole part unsigned, sum in double precision";
}

TEST(CurrentParams, RoundTripThroughDeviceOrder) {
    const CurrentParamsStruct original = SampleCurrent();
    Block block(kCurrentParamsBytes, 0);
    EncodeCurrentParams(original, block.data());
    CurrentToPc(block);
    CurrentToPc(block);
    CurrentParamsStruct decoded;
    DecodeCurrentParams(block.data(), decoded);
    EXPECT_EQ(decoded, original);
}

TEST(CurrentParams, DuIndexNamesDiameter) {
    const struct {
        uint16_t index;
        const char* du;
    } kDu[] = {{0, "15"}, {8, "150"}, {9, "65"}, {10, "200"}, {11, "300"}, {12, ""}, {65535, ""}};
    for (const auto& d : kDu) {
        Block block(kCurrentParamsBytes, 0);
        SetReg(block.data(), 19, d.index);
        CurrentParamsStruct c;
        DecodeCurrentParams(block.data(), c);
        EXPECT_EQ(c.DuIndex, d.index);
        EXPECT_EQ(FormatCurrentParams(c).Du, d.du) << "index " << d.index;
    }
}

SetupParamsStruct SampleSetup() {
    SetupParamsStruct s;
    s.Date = DateOf(2031, 12, 31);
    s.Time = TimeOf(23, 59, 58);
    s.ClearArchive = 1;
    s.NetAddress = 254;
    s.CalibrationCode = 16383;
    s.TestCode = 8191;
    s.TestMode = 1;
    return s;
}

TEST(SetupParams, EncodesToDeviceRegisterMap) {
    Block block(kSetupParamsBytes, 0);
    EXPECT_TRUE(EncodeSetupParams(SampleSetup(), block.data()));
    SetupToPc(block);
    const uint16_t expected[11] = {31, 12, 31, 23, 59, 58, 1, 254, 16383, 8191, 1};
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(DeviceReg(block, i), expected[i]) << "register " << i;
    }
    for (int i = 22; i < kSetupParamsBytes; ++i) {
        EXPECT_EQ(block[i], 0) << "byte " << i;
    }
}

TEST(SetupParams, RoundTripThroughDeviceOrder) {
    const SetupParamsStruct original = SampleSetup();
    Block block(kSetupParamsBytes, 0);
    EncodeSetupParams(original, block.data());
    SetupToPc(block);
    SetupToPc(block);
    SetupParamsStruct decoded;
    EXPECT_TRUE(DecodeSetupParams(block.data(), decoded));
    EXPECT_EQ(decoded, original);
}

TEST(SetupParams, DecodesLowBytesAndClearFlag) {
    Block block(kSetupParamsBytes, 0);
    SetDeviceReg(block, 6, 0x0200);  // any non-zero value is "clear"
    SetDeviceReg(block, 7, 0x1234);
    SetDeviceReg(block, 8, 0xBEEF);
    SetDeviceReg(block, 9, 0x0102);
    SetDeviceReg(block, 10, 0x0301);
    SetupToPc(block);
    SetupParamsStruct s;
    DecodeSetupParams(block.data(), s);
    EXPECT_EQ(s.ClearArchive, 1);
    EXPECT_EQ(s.NetAddress, 0x34);
    EXPECT_EQ(s.CalibrationCode, 0xBEEF);
    EXPECT_EQ(s.TestCode, 0x0102);
    EXPECT_EQ(s.TestMode, 0x01);
}

// The device clock in registers 0..5, shared by both blocks: the date is
// formed first; an invalid date changes neither field, an invalid time only
// keeps Time.
struct ClockCase {
    const char* name;
    uint16_t regs[6];
    bool dateSet;
    bool timeSet;
};

void PrintTo(const ClockCase& c, std::ostream* os) {
    *os << c.name;
}

const ClockCase kClocks[] = {
    {"AllZero", {0, 0, 0, 0, 0, 0}, false, false},
    {"Hour25", {26, 12, 8, 25, 0, 0}, true, false},
    {"Minute60", {26, 12, 8, 1, 60, 0}, true, false},
    {"Second60", {26, 12, 8, 1, 2, 60}, true, false},
    {"Month13ValidTime", {26, 13, 8, 1, 2, 3}, false, false},
    {"Feb29In2026", {26, 2, 29, 1, 2, 3}, false, false},
    {"Feb29In2028", {28, 2, 29, 1, 2, 3}, true, true},
    {"Midnight", {26, 12, 8, 0, 0, 0}, true, true},
    {"YearRegisterAbove99", {300, 1, 1, 0, 0, 0}, true, true},
};

enum class BlockKind { Current, Setup };

class DeviceClock : public testing::TestWithParam<std::tuple<ClockCase, BlockKind>> {};

TEST_P(DeviceClock, InvalidValuesLeaveFields) {
    const ClockCase& c = std::get<0>(GetParam());
    const BlockKind kind = std::get<1>(GetParam());
    Block block(kCurrentParamsBytes, 0);
    for (int i = 0; i < 6; ++i) {
        SetReg(block.data(), i, c.regs[i]);
    }
    constexpr TDateTime kOldDate = 40909;
    constexpr TDateTime kOldTime = 0.25;
    TDateTime date = kOldDate, time = kOldTime;
    if (kind == BlockKind::Current) {
        CurrentParamsStruct record;
        record.Date = kOldDate;
        record.Time = kOldTime;
        DecodeCurrentParams(block.data(), record);
        date = record.Date;
        time = record.Time;
    } else {
        SetupParamsStruct record;
        record.Date = kOldDate;
        record.Time = kOldTime;
        DecodeSetupParams(block.data(), record);
        date = record.Date;
        time = record.Time;
    }
    if (c.dateSet) {
        EXPECT_EQ(date, DateOf(2000 + c.regs[0], c.regs[1], c.regs[2]));
    } else {
        EXPECT_EQ(date, kOldDate);
    }
    if (c.timeSet) {
        EXPECT_EQ(time, TimeOf(c.regs[3], c.regs[4], c.regs[5]));
    } else {
        EXPECT_EQ(time, kOldTime);
    }
}

INSTANTIATE_TEST_SUITE_P(Clock, DeviceClock,
                         testing::Combine(testing::ValuesIn(kClocks),
                                          testing::Values(BlockKind::Current, BlockKind::Setup)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == BlockKind::Current ? "_Current"
                                                                                   : "_Setup");
                         });

struct RingCase {
    const char* name;
    uint16_t highest, oldest, next;
    uint16_t newest, count;
};

void PrintTo(const RingCase& c, std::ostream* os) {
    *os << c.name;
}

const RingCase kRings[] = {
    {"Wrapped", 99, 50, 10, 9, 60},
    {"EmptyAtStart", 99, 0, 0, 99, 0},
    {"EmptyInMiddle", 99, 40, 40, 39, 0},
    {"NotWrapped", 99, 10, 60, 59, 50},
    {"FullRingNextAtZero", 99, 1, 0, 99, 99},
    {"LargestRing", 65535, 65535, 0, 65535, 1},
    {"OneSlot", 0, 0, 0, 0, 0},
};

class RingPointers : public testing::TestWithParam<RingCase> {};

TEST_P(RingPointers, NewestAndCount) {
    const RingCase& c = GetParam();
    const ArchiveRing ring{c.highest, c.oldest, c.next};
    EXPECT_EQ(ring.NewestIndex(), c.newest);
    EXPECT_EQ(ring.RecordCount(), c.count);
}

INSTANTIATE_TEST_SUITE_P(Rings, RingPointers, testing::ValuesIn(kRings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RingPointers, ReadFromRegisters6To17) {
    Block block(kCurrentParamsBytes, 0);
    for (int i = 0; i < 12; ++i) {
        SetReg(block.data(), 6 + i, static_cast<uint16_t>(100 + i));
    }
    for (int kind = 0; kind < 4; ++kind) {
        const ArchiveRing ring = GetArchiveRing(block.data(), kind);
        EXPECT_EQ(ring.highest, 100 + 3 * kind) << kind;
        EXPECT_EQ(ring.oldest, 101 + 3 * kind) << kind;
        EXPECT_EQ(ring.next, 102 + 3 * kind) << kind;
    }
}

ZQValve FilledValve() {
    ZQValve v;
    const uint8_t ident[4] = {1, 2, 1, 4};
    std::memcpy(v.Ident, ident, sizeof ident);
    v.Current = SampleCurrent();
    v.Setup = SampleSetup();
    v.HourArchive = {ArchiveRecord(26, 12, 8, 0, 1, 2, 3, 4),
                     ArchiveRecord(26, 12, 8, 1, 1, 2, 3, 4)};
    v.DayArchive = {ArchiveRecord(26, 12, 7, 0, 5, 6, 7, 8)};
    v.MonthArchive = {ArchiveRecord(26, 11, 1, 0, 9, 10, 11, 12)};
    v.Journal = {JournalRecord(1, 1, 1, 0), JournalRecord(6, 17, 5, 6)};
    return v;
}

TEST(ZQValve, ClearEmptiesEverything) {
    ZQValve v = FilledValve();
    v.Clear();
    EXPECT_EQ(v, ZQValve{});
    EXPECT_TRUE(v.HourArchive.empty());
    EXPECT_TRUE(v.Journal.empty());
    EXPECT_EQ(v.Current, CurrentParamsStruct{});
    EXPECT_EQ(v.Version(), 0);
}

TEST(ZQValve, CopyReplacesListsAndIsIndependent) {
    const ZQValve source = FilledValve();
    ZQValve target;
    target.HourArchive.assign(5, ArchiveRecord(1, 1, 1, 1, 0, 0, 0, 0));
    target.Journal.assign(3, JournalRecord(0, 0, 0, 0));
    target = source;
    EXPECT_EQ(target, source);
    EXPECT_EQ(target.HourArchive.size(), 2u);
    EXPECT_EQ(target.Version(), 1);

    target.Journal[1].oldValue[0] ^= 1;
    target.Ident[0] = 9;
    EXPECT_EQ(source.Journal[1].oldValue[0], 5) << "the copy shares nothing with its source";
    EXPECT_EQ(source.Ident[0], 1);
}

// Every part takes part in the comparison.
TEST(ZQValve, ComparisonSeesEveryPart) {
    const std::pair<const char*, std::function<void(ZQValve&)>> kChanges[] = {
        {"Ident", [](ZQValve& v) { v.Ident[3] ^= 1; }},
        {"Current", [](ZQValve& v) { v.Current.Gmax += 1; }},
        {"Setup", [](ZQValve& v) { v.Setup.TestCode ^= 1; }},
        {"HourRecordByte", [](ZQValve& v) { v.HourArchive[1].flags ^= 0x80; }},
        {"HourLength", [](ZQValve& v) { v.HourArchive.pop_back(); }},
        {"Day", [](ZQValve& v) { v.DayArchive[0].workTime[2] ^= 1; }},
        {"Month", [](ZQValve& v) { v.MonthArchive.push_back(v.MonthArchive[0]); }},
        {"JournalLastByte", [](ZQValve& v) { v.Journal[0].newValue[3] ^= 1; }},
        {"JournalOrder", [](ZQValve& v) { std::swap(v.Journal[0], v.Journal[1]); }},
    };
    for (const auto& [name, change] : kChanges) {
        ZQValve changed = FilledValve();
        change(changed);
        EXPECT_FALSE(changed == FilledValve()) << name;
    }
}

}  // namespace

#include "ByteOrder.h"
#include "Crc16.h"
#include "DeviceModel.h"
#include "ParamsRegisters.h"
#include "SimFrames.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace zqsim;

namespace {

ZQ_PRINT_CASES_BY_NAME

// A record that names its slot, so a walk can be read back.
Record SlotRecord(int slot) {
    Record r{};
    r[0] = 26;
    r[1] = 12;
    r[2] = 1;
    r[3] = static_cast<uint8_t>(slot);
    r[15] = static_cast<uint8_t>(slot >> 8);
    return r;
}

RingMemory TaggedRing(size_t size, uint16_t oldest, int records) {
    RingMemory ring = RingMemory::Make(size, oldest, {});
    for (int i = 0; i < records; ++i) {
        const size_t slot = (oldest + i) % size;
        ring.slots[slot] = SlotRecord(static_cast<int>(slot));
    }
    ring.next = static_cast<uint16_t>((oldest + records) % size);
    return ring;
}

const CivilTime kStart{2026, 12, 8, 14, 5, 9};

class DeviceModelTest : public testing::Test {
protected:
    DeviceModelTest() : host_(ToCivilSeconds(kStart)) {}

    DeviceModel Make(DeviceSettings settings = {}) {
        DeviceContent c;
        c.rings[kHourRing] = TaggedRing(10, 7, 6);
        c.rings[kDayRing] = RingMemory::Make(5, 0, {});
        c.rings[kMonthRing] = TaggedRing(40, 0, 35);
        c.rings[kJournalRing] = TaggedRing(4, 1, 2);
        c.current.serial = 123456789;
        c.current.ton = 1000;
        c.current.twork = 900;
        c.current.impulseWeight = 10;
        c.current.impulseLength = 50;
        c.current.g = 12.5f;
        c.current.gmin = 0.25f;
        c.current.gmax = 60;
        c.current.vPlus = 123.75;
        c.current.vMinus = 2.5;
        c.current.nsFlags = 5;
        c.current.duIndex = 9;
        c.current.currentCode = 12000;
        c.holding = {16000, 100, 0};
        return DeviceModel(settings, c, [this] { return host_; });
    }

    static std::vector<uint8_t> Ask(DeviceModel& d, const std::vector<uint8_t>& request) {
        return d.Answer(request.data(), request.size());
    }

    // The current-parameter block decoded as the tool decodes it.
    static CurrentParamsStruct Decode(const std::vector<uint8_t>& answer) {
        std::vector<uint8_t> regs(answer.begin() + 3, answer.begin() + 3 + 128);
        ConvertByteOrder(regs.data(), kCurrentParamsConverted, CurrentParamsOrder, 2);
        CurrentParamsStruct p;
        DecodeCurrentParams(regs.data(), p);
        return p;
    }

    int64_t host_;
};

TEST_F(DeviceModelTest, ReportSlaveIdCarriesSignatureVersionAndRequestAddress) {
    DeviceModel d = Make();
    EXPECT_EQ(Ask(d, WithCrc({1, 0x11})),
              WithCrc({1, 0x11, 8, 'R', 'O', 'R', 'I', 'Z', 'Q', 1, 0}));
    const std::vector<uint8_t> broadcast = Ask(d, WithCrc({0, 0x11}));
    ASSERT_EQ(broadcast.size(), 13u);
    EXPECT_EQ(broadcast[0], 0);
    EXPECT_TRUE(CheckFrameCrc(broadcast.data(), broadcast.size()));

    DeviceSettings v2;
    v2.version = 2;
    DeviceModel d2 = Make(v2);
    EXPECT_EQ(Ask(d2, WithCrc({1, 0x11}))[9], 2);
}

TEST_F(DeviceModelTest, AnswersOnlyGoodFramesForItsAddressOrZero) {
    DeviceModel d = Make();
    std::vector<uint8_t> badCrc = WithCrc({1, 0x11});
    badCrc[2] ^= 1;
    struct Row {
        const char* name;
        std::vector<uint8_t> frame;
        bool answered;
    } rows[] = {
        {"own address", WithCrc({1, 0x11}), true},
        {"address 0", WithCrc({0, 0x11}), true},
        {"another address", WithCrc({2, 0x11}), false},
        {"bad CRC", badCrc, false},
        {"two bytes", {1, 0x11}, false},
        {"empty", {}, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(!Ask(d, row.frame).empty(), row.answered) << row.name;
    }
}

TEST_F(DeviceModelTest, InputRegistersHoldClockRingsAndBigEndianValues) {
    DeviceModel d = Make();
    const std::vector<uint8_t> a = Ask(d, ReadRegs(1, 4, 0, 64));
    ASSERT_EQ(a.size(), 3u + 128 + 2);
    EXPECT_EQ(a[2], 128);
    EXPECT_TRUE(CheckFrameCrc(a.data(), a.size()));
    auto reg = [&a](int i) { return Be16(a, 3 + 2 * i); };
    const uint16_t clock[6] = {26, 12, 8, 14, 5, 9};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(reg(i), clock[i]) << "clock register " << i;
    }
    // h, o, n of the hourly, daily, monthly and journal rings.
    const uint16_t rings[12] = {9, 7, 3, 4, 0, 0, 39, 0, 35, 3, 1, 3};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(reg(6 + i), rings[i]) << "ring register " << 6 + i;
    }
    EXPECT_EQ(reg(18), 5);
    EXPECT_EQ(reg(19), 9);
    EXPECT_EQ(reg(20), 12000);
    EXPECT_EQ(Be32(a, 3 + 64), 123456789u);  // register 32, high-order register first
    EXPECT_EQ(Be32(a, 3 + 96), 123u);        // V+ integer part, register 48
    for (int i : {21, 31, 56, 63}) {
        EXPECT_EQ(reg(i), 0) << "unused register " << i;
    }

    const CurrentParamsStruct p = Decode(a);
    EXPECT_EQ(p.Serial, 123456789u);
    EXPECT_EQ(p.Ton, 1000u);
    EXPECT_EQ(p.Twork, 900u);
    EXPECT_EQ(p.G, 12.5f);
    EXPECT_EQ(p.Gmin, 0.25f);
    EXPECT_EQ(p.ImpulseWeight, 10.0f);
    EXPECT_DOUBLE_EQ(p.Vd, 123.75);
    EXPECT_DOUBLE_EQ(p.Vr, 2.5);

    // A part of the block: the serial number alone.
    const std::vector<uint8_t> part = Ask(d, ReadRegs(1, 4, 32, 2));
    ASSERT_EQ(part.size(), 3u + 4 + 2);
    EXPECT_EQ(Be32(part, 3), 123456789u);
}

TEST_F(DeviceModelTest, ClockAndCountersRunWithTheHost) {
    DeviceModel d = Make();
    host_ += 3600;
    const std::vector<uint8_t> a = Ask(d, ReadRegs(1, 4, 0, 64));
    EXPECT_EQ(Be16(a, 3 + 6), 15);  // hour
    const CurrentParamsStruct p = Decode(a);
    EXPECT_DOUBLE_EQ(p.Vd, 123.75 + 12.5);
    EXPECT_EQ(p.Twork, 960u);
    EXPECT_EQ(p.Ton, 1060u);
}

// A settling flow: G rises from 0, overshoots once and settles; V+ grows
// by the integral of the G the device reports; "g < g_пор" follows G while
// the fault flag stays as set.
TEST_F(DeviceModelTest, SettlingFlowFillsVPlusByTheIntegralOfG) {
    DeviceSettings settings;
    settings.flowSettleSeconds = 600;
    DeviceModel d = Make(settings);
    EXPECT_EQ(d.Current().g, 0.0f);
    EXPECT_EQ(d.Current().nsFlags, 0x05);
    double integral = 0;  // m3, trapezoids of one second
    float peak = 0;
    float previous = d.Current().g;
    for (int t = 1; t <= 3600; ++t) {
        ++host_;
        const CurrentValues c = d.Current();
        integral += (previous + c.g) / 2.0 / 3600.0;
        previous = c.g;
        peak = std::max(peak, c.g);
        if (t == 300) {
            EXPECT_EQ(c.nsFlags, 0x01) << "G is above g_пор, and no fault flag is touched";
        }
    }
    EXPECT_GT(peak, 12.5f * 1.15f);
    EXPECT_LT(peak, 12.5f * 1.3f);
    EXPECT_NEAR(previous, 12.5f, 0.01f);
    EXPECT_NEAR(d.Current().vPlus - 123.75, integral, 1e-4);
    EXPECT_DOUBLE_EQ(d.Current().vMinus, 2.5);
}

TEST_F(DeviceModelTest, HoldingRegistersHoldClockAndSetup) {
    DeviceModel d = Make();
    const std::vector<uint8_t> a = Ask(d, ReadRegs(1, 3, 0, 16));
    ASSERT_EQ(a.size(), 3u + 32 + 2);
    EXPECT_EQ(a[2], 32);
    const uint16_t expected[16] = {26, 12, 8, 14, 5, 9, 0, 1, 16000, 100, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(Be16(a, 3 + 2 * i), expected[i]) << "register " << i;
    }
    const std::vector<uint8_t> part = Ask(d, ReadRegs(1, 3, 7, 2));
    ASSERT_EQ(part.size(), 3u + 4 + 2);
    EXPECT_EQ(Be16(part, 3), 1);
    EXPECT_EQ(Be16(part, 5), 16000);
}

struct ExceptionCase {
    const char* name;
    std::vector<uint8_t> request;
    uint8_t code;
};

class DeviceExceptions : public DeviceModelTest,
                         public testing::WithParamInterface<ExceptionCase> {};

TEST_P(DeviceExceptions, AnswerWithTheModbusCode) {
    DeviceModel d = Make();
    const ExceptionCase& c = GetParam();
    EXPECT_EQ(Ask(d, c.request),
              WithCrc({c.request[0], static_cast<uint8_t>(c.request[1] | 0x80), c.code}));
}

std::vector<uint8_t> BadByteCount() {
    std::vector<uint8_t> f{1, 16, 0, 7, 0, 1, 3, 0, 5};
    return WithCrc(f);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, DeviceExceptions,
    testing::Values(ExceptionCase{"unknown_function", WithCrc({1, 0x2B}), 1},
                    ExceptionCase{"input_count_0", ReadRegs(1, 4, 0, 0), 2},
                    ExceptionCase{"input_past_64", ReadRegs(1, 4, 60, 5), 2},
                    ExceptionCase{"input_count_65", ReadRegs(1, 4, 0, 65), 2},
                    ExceptionCase{"holding_past_16", ReadRegs(1, 3, 1, 16), 2},
                    ExceptionCase{"read_with_extra_byte", WithCrc({1, 4, 0, 0, 0, 1, 0}), 3},
                    ExceptionCase{"slave_id_with_data", WithCrc({1, 0x11, 0}), 3},
                    ExceptionCase{"write_byte_count_mismatch", BadByteCount(), 3},
                    ExceptionCase{"write_unused_register", WriteRegs(1, 11, {0}), 2},
                    ExceptionCase{"write_past_setup", WriteRegs(1, 9, {0, 0, 0}), 2},
                    ExceptionCase{"write_month_13", WriteRegs(1, 0, {26, 13, 1, 0, 0, 0}), 3},
                    ExceptionCase{"write_31_april", WriteRegs(1, 0, {26, 4, 31, 0, 0, 0}), 3},
                    ExceptionCase{"write_address_0", WriteRegs(1, 7, {0}), 3},
                    ExceptionCase{"write_code_over_16383", WriteRegs(1, 8, {16384}), 3},
                    ExceptionCase{"write_clear_2", WriteRegs(1, 6, {2}), 3},
                    ExceptionCase{"archive_kind_4", ReadArchive(1, 4, 0, 1), 3},
                    ExceptionCase{"archive_count_0", ReadArchive(1, 0, 2, 0), 3},
                    ExceptionCase{"archive_start_past_ring", ReadArchive(1, 0, 10, 1), 2},
                    ExceptionCase{"archive_short", WithCrc({1, 65, 0, 1, 0, 0}), 3}),
    [](const testing::TestParamInfo<ExceptionCase>& info) { return info.param.name; });

TEST_F(DeviceModelTest, ClockWriteSetsARunningClock) {
    DeviceModel d = Make();
    EXPECT_EQ(Ask(d, WriteRegs(1, 0, {31, 12, 31, 23, 59, 58})), WithCrc({1, 16, 0, 0, 0, 6}));
    EXPECT_EQ(d.Clock(), (CivilTime{2031, 12, 31, 23, 59, 58}));
    host_ += 2;
    EXPECT_EQ(d.Clock(), (CivilTime{2032, 1, 1, 0, 0, 0}));
    // Setting the minute alone keeps the other fields.
    Ask(d, WriteRegs(1, 4, {30}));
    EXPECT_EQ(d.Clock(), (CivilTime{2032, 1, 1, 0, 30, 0}));
}

TEST_F(DeviceModelTest, ClearEmptiesRingsAndCounters) {
    DeviceModel d = Make();
    EXPECT_EQ(Ask(d, WriteRegs(1, 6, {1})), WithCrc({1, 16, 0, 6, 0, 1}));
    const std::vector<uint8_t> a = Ask(d, ReadRegs(1, 4, 0, 64));
    for (int kind = 0; kind < 4; ++kind) {
        EXPECT_EQ(Be16(a, 3 + 2 * (7 + 3 * kind)), Be16(a, 3 + 2 * (8 + 3 * kind)))
            << "ring " << kind << ": o == n";
    }
    CurrentParamsStruct p = Decode(a);
    EXPECT_EQ(p.Vd, 0);
    EXPECT_EQ(p.Vr, 0);
    EXPECT_EQ(p.Twork, 0u);
    EXPECT_EQ(p.Ton, 1000u);  // power-on time is no operating counter
    host_ += 3600;
    p = Decode(Ask(d, ReadRegs(1, 4, 0, 64)));
    EXPECT_DOUBLE_EQ(p.Vd, 12.5);
    EXPECT_EQ(Be16(Ask(d, ReadRegs(1, 3, 6, 1)), 3), 0);  // the clear register reads 0
}

TEST_F(DeviceModelTest, AddressChangeMovesTheDevice) {
    DeviceModel d = Make();
    EXPECT_EQ(Ask(d, WriteRegs(1, 7, {17})), WithCrc({1, 16, 0, 7, 0, 1}));
    EXPECT_TRUE(Ask(d, WithCrc({1, 0x11})).empty());
    EXPECT_EQ(Ask(d, WithCrc({17, 0x11}))[0], 17);
    EXPECT_EQ(Ask(d, WithCrc({0, 0x11}))[0], 0);
    // Written through address 0, the echo carries 0.
    EXPECT_EQ(Ask(d, WriteRegs(0, 7, {5, 8000, 200, 1})), WithCrc({0, 16, 0, 7, 0, 4}));
    EXPECT_EQ(d.Address(), 5);
    EXPECT_EQ(d.Holding().calibrationCode, 8000);
    EXPECT_EQ(d.Holding().testCode, 200);
    EXPECT_EQ(d.Holding().testMode, 1);
}

TEST_F(DeviceModelTest, RejectedWriteChangesNothing) {
    DeviceModel d = Make();
    // The address is good, the calibration code is not: nothing is written.
    EXPECT_EQ(Ask(d, WriteRegs(1, 7, {5, 20000, 0, 0}))[1], 0x90);
    EXPECT_EQ(d.Address(), 1);
    EXPECT_EQ(d.Holding().calibrationCode, 16000);
}

// Ring walk of function 65 on a ring of 10 slots.
struct WalkCase {
    const char* name;
    uint16_t oldest;
    int records;
    uint16_t start;
    uint8_t count;
    int maxRecords;
    std::vector<int> walked;
    uint16_t next;
};

class ArchiveWalk : public DeviceModelTest, public testing::WithParamInterface<WalkCase> {};

TEST_P(ArchiveWalk, SendsRecordsTowardsTheOldestAndTheNextStart) {
    const WalkCase& c = GetParam();
    DeviceContent content;
    content.rings[kHourRing] = TaggedRing(10, c.oldest, c.records);
    DeviceSettings s;
    s.maxRecords = c.maxRecords;
    DeviceModel d(s, content, [this] { return host_; });
    const std::vector<uint8_t> a = Ask(d, ReadArchive(1, 0, c.start, c.count));
    const size_t n = c.walked.size();
    ASSERT_EQ(a.size(), 7 + 16 * n + 2);
    EXPECT_TRUE(CheckFrameCrc(a.data(), a.size()));
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(a[1], 65);
    EXPECT_EQ(a[2], 0);
    EXPECT_EQ(a[4] | (a[5] << 8), c.next) << "next start index, low byte first";
    EXPECT_EQ(a[6], n);
    for (size_t i = 0; i < n; ++i) {
        const Record& expected = content.rings[kHourRing].slots[c.walked[i]];
        EXPECT_EQ(0, std::memcmp(&a[7 + 16 * i], expected.data(), 16)) << "record " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rings, ArchiveWalk,
    testing::Values(WalkCase{"inside_the_records", 0, 6, 5, 4, 31, {5, 4, 3, 2}, 1},
                    WalkCase{"stops_at_the_oldest", 0, 6, 5, 10, 31, {5, 4, 3, 2, 1, 0}, 9},
                    WalkCase{"wrapped_ring_crosses_slot_0", 7, 6, 2, 4, 31, {2, 1, 0, 9}, 8},
                    WalkCase{"wrapped_ring_to_the_oldest", 7, 6, 2, 255, 31, {2, 1, 0, 9, 8, 7}, 6},
                    WalkCase{"max_records_per_answer", 7, 6, 2, 255, 3, {2, 1, 0}, 9},
                    WalkCase{"start_among_the_last_slots", 7, 6, 9, 255, 31, {9, 8, 7}, 6},
                    WalkCase{"start_outside_walks_erased_slots", 0, 6, 8, 3, 31, {8, 7, 6}, 5}),
    [](const testing::TestParamInfo<WalkCase>& info) { return info.param.name; });

// Reads a whole ring the way the tool does: plan from the ring registers,
// chunks of at most 255 records, each next chunk where the answer says.
std::vector<Record> ReadLikeTheTool(DeviceModel& d, uint8_t kind) {
    const std::vector<uint8_t> regs = d.Answer(ReadRegs(1, 4, 0, 64).data(), 8);
    const uint16_t h = Be16(regs, 3 + 2 * (6 + 3 * kind));
    const uint16_t o = Be16(regs, 3 + 2 * (7 + 3 * kind));
    const uint16_t n = Be16(regs, 3 + 2 * (8 + 3 * kind));
    uint16_t start = n > 0 ? n - 1 : h;
    int left = n >= o ? n - o : h - o + n + 1;
    std::vector<Record> got;
    for (int guard = 0; left > 0 && guard < 10000; ++guard) {
        const std::vector<uint8_t> req =
            ReadArchive(1, kind, start, static_cast<uint8_t>(std::min(left, 255)));
        const std::vector<uint8_t> a = d.Answer(req.data(), req.size());
        if (a.size() < 9 || a[6] > left || a.size() != 7u + 16 * a[6] + 2) {
            ADD_FAILURE() << "bad chunk answer of " << a.size() << " bytes";
            break;
        }
        for (int i = 0; i < a[6]; ++i) {
            Record r;
            std::memcpy(r.data(), &a[7 + 16 * i], 16);
            got.push_back(r);
        }
        left -= a[6];
        start = static_cast<uint16_t>(a[4] | (a[5] << 8));
    }
    return got;
}

TEST_F(DeviceModelTest, ChunkedReadsReturnTheWholeRingNewestFirst) {
    struct Row {
        const char* name;
        size_t size;
        uint16_t oldest;
        int records;
    } rows[] = {
        {"wrapped, 31 a chunk", 100, 90, 60},
        {"full ring over 255 records", 300, 0, 299},
        {"full ring wrapped", 300, 150, 299},
    };
    for (const Row& row : rows) {
        DeviceContent content;
        content.rings[kDayRing] = TaggedRing(row.size, row.oldest, row.records);
        content.rings[kDayRing].slots[(row.oldest + 3) % row.size] = ErasedRecord();
        DeviceModel d({}, content, [this] { return host_; });
        std::vector<Record> expected;
        for (uint16_t index : content.rings[kDayRing].ReadOrder()) {
            expected.push_back(content.rings[kDayRing].slots[index]);
        }
        ASSERT_EQ(expected.size(), static_cast<size_t>(row.records)) << row.name;
        EXPECT_EQ(ReadLikeTheTool(d, kDayRing), expected) << row.name;
    }
}

}  // namespace

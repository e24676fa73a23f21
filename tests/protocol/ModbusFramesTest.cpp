#include "Crc16.h"
#include "ModbusFrames.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

namespace {

ZQ_PRINT_CASES_BY_NAME

std::vector<uint8_t> Frame(const uint8_t* buffer, int length) {
    return std::vector<uint8_t>(buffer, buffer + length);
}

TEST(Crc16, KnownAnswers) {
    const uint8_t slaveId[] = {0x01, 0x11};
    EXPECT_EQ(Crc16(slaveId, 2), 0x2CC0);  // on the wire: C0 2C
    const uint8_t readHolding[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
    EXPECT_EQ(Crc16(readHolding, 6), 0xCDC5);  // C5 CD
    const uint8_t readInput[] = {0x11, 0x04, 0x00, 0x08, 0x00, 0x01};
    EXPECT_EQ(Crc16(readInput, 6), 0x98B2);  // B2 98
    EXPECT_EQ(Crc16(nullptr, 0), 0xFFFF);
    // "123456789" is the catalogue check value of CRC-16/MODBUS.
    const std::string check = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x4B37);
}

TEST(Crc16, FrameCheckAcceptsOnlyMatchingTail) {
    const uint8_t good[] = {0x01, 0x11, 0xC0, 0x2C};
    EXPECT_TRUE(CheckFrameCrc(good, 4));
    const uint8_t swapped[] = {0x01, 0x11, 0x2C, 0xC0};
    EXPECT_FALSE(CheckFrameCrc(swapped, 4));
    EXPECT_FALSE(CheckFrameCrc(good, 2));
    EXPECT_FALSE(CheckFrameCrc(good, 0));
}

TEST(ModbusFrames, ReportSlaveId) {
    uint8_t buffer[265];
    int length = sizeof buffer;
    ASSERT_TRUE(BuildReportSlaveId(buffer, length, 1));
    EXPECT_EQ(Frame(buffer, length), (std::vector<uint8_t>{0x01, 0x11, 0xC0, 0x2C}));
}

struct ReadCase {
    const char* name;
    uint16_t reg;
    uint16_t count;
    std::vector<uint8_t> head;  // frame without CRC
};

class ReadRegisters : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadRegisters, BuildsFunctionAndWireAddress) {
    const ReadCase& c = GetParam();
    uint8_t buffer[265];
    int length = sizeof buffer;
    ASSERT_TRUE(BuildReadRegisters(buffer, length, 1, c.reg, c.count));
    ASSERT_EQ(length, 8);
    EXPECT_EQ(Frame(buffer, 6), c.head);
    EXPECT_TRUE(CheckFrameCrc(buffer, 8));
}

INSTANTIATE_TEST_SUITE_P(
    Registers, ReadRegisters,
    testing::Values(ReadCase{"input30001", 30001, 64, {0x01, 0x04, 0x00, 0x00, 0x00, 0x40}},
                    ReadCase{"holding40001", 40001, 16, {0x01, 0x03, 0x00, 0x00, 0x00, 0x10}},
                    ReadCase{"holding40008", 40008, 1, {0x01, 0x03, 0x00, 0x07, 0x00, 0x01}},
                    ReadCase{"holding40011", 40011, 10, {0x01, 0x03, 0x00, 0x0A, 0x00, 0x0A}}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST(ModbusFrames, ReadHoldingMatchesPublicExample) {
    uint8_t buffer[8];
    int length = 8;
    ASSERT_TRUE(BuildReadRegisters(buffer, length, 1, 40001, 10));
    EXPECT_EQ(Frame(buffer, length),
              (std::vector<uint8_t>{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
}

TEST(ModbusFrames, WriteRegistersLayout) {
    const uint8_t data[] = {0x00, 0x05, 0x12, 0x34};
    uint8_t buffer[265];
    int length = sizeof buffer;
    ASSERT_TRUE(BuildWriteRegisters(buffer, length, 7, data, 40008, 2));
    ASSERT_EQ(length, 13);
    EXPECT_EQ(Frame(buffer, 11), (std::vector<uint8_t>{0x07, 0x10, 0x00, 0x07, 0x00, 0x02, 0x04,
                                                       0x00, 0x05, 0x12, 0x34}));
    EXPECT_TRUE(CheckFrameCrc(buffer, length));
}

TEST(ModbusFrames, WriteRegistersRegisterLimit) {
    std::vector<uint8_t> data(2 * 124, 0xAB);
    uint8_t buffer[265];
    int length = sizeof buffer;
    ASSERT_TRUE(BuildWriteRegisters(buffer, length, 1, data.data(), 40001, 123));
    EXPECT_EQ(length, 255);
    EXPECT_EQ(buffer[6], 246);
    EXPECT_TRUE(CheckFrameCrc(buffer, length));

    uint8_t untouched[265];
    std::fill(std::begin(untouched), std::end(untouched), 0x5A);
    length = sizeof untouched;
    EXPECT_FALSE(BuildWriteRegisters(untouched, length, 1, data.data(), 40001, 124));
    EXPECT_EQ(length, 257);
    EXPECT_EQ(untouched[0], 0x5A);
}

// Every builder refuses a buffer one byte short, reports the exact size and
// writes nothing; with that size it succeeds.
TEST(ModbusFrames, CapacityOneByteShort) {
    const uint8_t data[6] = {2, 1, 0x10, 0x00, 0xFF, 0};
    struct Builder {
        const char* name;
        int size;
        std::function<bool(uint8_t*, int&)> build;
    };
    const Builder builders[] = {
        {"slave id", 4, [](uint8_t* b, int& l) { return BuildReportSlaveId(b, l, 1); }},
        {"read", 8, [](uint8_t* b, int& l) { return BuildReadRegisters(b, l, 1, 30001, 64); }},
        {"write", 15,
         [&](uint8_t* b, int& l) { return BuildWriteRegisters(b, l, 1, data, 40001, 3); }},
        {"function", 9,
         [&](uint8_t* b, int& l) { return BuildFunctionFrame(b, l, 1, 65, data, 5); }},
        {"function no data", 4,
         [&](uint8_t* b, int& l) { return BuildFunctionFrame(b, l, 1, 65, nullptr, 0); }},
    };
    for (const Builder& b : builders) {
        SCOPED_TRACE(b.name);
        std::vector<uint8_t> buffer(b.size, 0xEE);
        int length = b.size - 1;
        EXPECT_FALSE(b.build(buffer.data(), length));
        EXPECT_EQ(length, b.size);
        EXPECT_EQ(buffer, std::vector<uint8_t>(b.size, 0xEE));
        length = b.size;
        EXPECT_TRUE(b.build(buffer.data(), length));
        EXPECT_EQ(length, b.size);
        EXPECT_TRUE(CheckFrameCrc(buffer.data(), length));
    }
}

// Data lengths that cannot make a frame: refused before any size is
// computed (dataLength + 4 would overflow), capacity and buffer untouched.
TEST(ModbusFrames, FunctionFrameRefusesImpossibleDataLengths) {
    const struct {
        const char* name;
        int dataLength;
    } rows[] = {{"minus one", -1},
                {"INT_MIN", INT_MIN},
                {"INT_MAX - 3", INT_MAX - 3},
                {"INT_MAX", INT_MAX}};
    const uint8_t data[1] = {0x41};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> buffer(265, 0xEE);
        int length = 265;
        EXPECT_FALSE(BuildFunctionFrame(buffer.data(), length, 1, 65, data, row.dataLength));
        EXPECT_EQ(length, 265);
        EXPECT_EQ(buffer, std::vector<uint8_t>(265, 0xEE));
    }
    // The largest length that still has a frame size only reports it.
    std::vector<uint8_t> buffer(265, 0xEE);
    int length = 265;
    EXPECT_FALSE(BuildFunctionFrame(buffer.data(), length, 1, 65, data, INT_MAX - 4));
    EXPECT_EQ(length, INT_MAX);
    EXPECT_EQ(buffer, std::vector<uint8_t>(265, 0xEE));
}

TEST(ModbusFrames, ArchiveRequest) {
    const uint8_t data[5] = {2, 1, 0x57, 0x02, 0xFF};
    uint8_t buffer[265];
    int length = sizeof buffer;
    ASSERT_TRUE(BuildFunctionFrame(buffer, length, 1, kFuncArchive, data, 5));
    ASSERT_EQ(length, 9);
    EXPECT_EQ(Frame(buffer, 7), (std::vector<uint8_t>{0x01, 0x41, 2, 1, 0x57, 0x02, 0xFF}));
}

TEST(ModbusFrames, ExceptionTexts) {
    EXPECT_EQ(ModbusErrorText(0), "Общая ошибка(без конкретизации причины)");
    EXPECT_EQ(ModbusErrorText(1), "Недопустимый(неподдерживаемый) номер функции");
    EXPECT_EQ(ModbusErrorText(2), "Недопустимый(неверный) номер регистра");
    EXPECT_EQ(ModbusErrorText(3), "Недопустимое значение в поле данных");
    EXPECT_EQ(ModbusErrorText(4), "Внутренняя ошибка прибора");
    EXPECT_EQ(ModbusErrorText(5), "Неизвестная ошибка");
    EXPECT_EQ(ModbusErrorText(6), "Устройство занято");
    EXPECT_EQ(ModbusErrorText(7), "Доступ к регистру закрыт");
    EXPECT_EQ(ModbusErrorText(8), "Неизвестная ошибка");
    EXPECT_EQ(ModbusErrorText(255), "Неизвестная ошибка");
}

}  // namespace

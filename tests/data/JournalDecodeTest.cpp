// Journal records into page texts: the stamp, the value types, the event
// names with their effects, and skipped, erased and invalid-time records.
#include "JournalDecodeStruct.h"
#include "RecordBuilders.h"
#include "RecordTexts.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

using namespace ZQ_namespace;

namespace {

ZQ_PRINT_CASES_BY_NAME

JournalStruct Stamped(JournalStruct r, uint8_t year, uint8_t month, uint8_t day, uint8_t hour,
                      uint8_t minute, uint8_t second) {
    r.year = year;
    r.month = month;
    r.day = day;
    r.hour = hour;
    r.minute = minute;
    r.second = second;
    return r;
}

// Value type 9 spreads yy mm dd hh nn ss over bytes 8..13.
JournalStruct WithEmbeddedStamp(uint8_t year, uint8_t month, uint8_t day, uint8_t hour,
                                uint8_t minute, uint8_t second) {
    JournalStruct r = JournalRecord(9, 3, 0, 0);
    const uint8_t stamp[6] = {year, month, day, hour, minute, second};
    std::memcpy(r.oldValue, stamp, 4);
    std::memcpy(r.newValue, stamp + 4, 2);
    r.newValue[2] = 0x77;  // not part of the stamp
    return r;
}

struct JournalCase {
    const char* name;
    JournalStruct record;
    bool result;
    const char* dateTimeText;
    const char* paramText;
    const char* oldText;
    const char* newText;
};

void PrintTo(const JournalCase& c, std::ostream* os) {
    *os << c.name;
}

constexpr const char* kStamp = "08/12/26 14:05:09";

const JournalCase kCases[] = {
    // Value types, each value read from its own four bytes.
    {"BoolYesNo", JournalRecord(1, 1, 1, 0), true, kStamp, "Режим РАБОТА", "Да", "Нет"},
    {"BoolLooksAtFirstByteOnly", JournalRecord(1, 2, 0xFFFFFF00, 0x00000080), true, kStamp,
     "Режим НАСТРОЙКА", "Нет", "Да"},
    {"UInt8", JournalRecord(2, 17, 0xFFFFFFFF, 0x00000107), true, kStamp, "Код 20 мА", "255", "7"},
    {"Int8", JournalRecord(3, 17, 0x000000FF, 0x0000007F), true, kStamp, "Код 20 мА", "-1", "127"},
    {"UInt16LowByteFirst", JournalRecord(4, 17, 0xFFFF1234, 0x0000FFFF), true, kStamp, "Код 20 мА",
     "4660", "65535"},
    {"Int16", JournalRecord(5, 17, 0x0000FFFF, 0x00008000), true, kStamp, "Код 20 мА", "-1",
     "-32768"},
    {"UInt32", JournalRecord(6, 17, 0xFFFFFFFF, 0x01020304), true, kStamp, "Код 20 мА",
     "4294967295", "16909060"},
    {"Int32", JournalRecord(7, 17, 0xFFFFFFFF, 0x80000000), true, kStamp, "Код 20 мА", "-1",
     "-2147483648"},
    {"Float", JournalRecord(8, 17, FloatBits(0.5f), FloatBits(-1234567.0f)), true, kStamp,
     "Код 20 мА", "0.5", "-1.23457e+06"},
    {"NoValueType0", JournalRecord(0, 0, 5, 6), true, kStamp, "Включение питания", "", ""},
    {"NoValueType11", JournalRecord(11, 0, 5, 6), true, kStamp, "Включение питания", "", ""},
    {"NoValueType15", JournalRecord(15, 16, 5, 6), true, kStamp, "Сброс архива", "", ""},
    {"EmbeddedStamp", WithEmbeddedStamp(26, 12, 8, 14, 5, 9), true, kStamp, "Текущее время", kStamp,
     ""},
    {"EmbeddedStampInvalidDate", WithEmbeddedStamp(26, 2, 30, 14, 5, 9), true, kStamp,
     "Текущее время", "Некоректное время", ""},
    {"EmbeddedStampInvalidTime", WithEmbeddedStamp(26, 2, 28, 24, 0, 0), true, kStamp,
     "Текущее время", "Некоректное время", ""},
    {"CounterWithVolumeUnit", JournalRecord(10, 32, 100, FloatBits(0.5f)), true, kStamp, "V+",
     "000000100.500 м3", "000000000.000 м3"},
    {"CounterInDoublePrecision", JournalRecord(10, 33, 4000000000u, FloatBits(0.25f)), true, kStamp,
     "V-", "4000000000.250 м3", "000000000.000 м3"},
    {"CounterWithoutUnit", JournalRecord(10, 40, 7, 0), true, kStamp, "Параметр 40",
     "000000007.000", "000000000.000"},
    {"VolumeUnitOnEmptyText", JournalRecord(0, 33, 1, 2), true, kStamp, "V-", " м3", " м3"},
    {"VolumeUnitAfterScalar", JournalRecord(6, 32, 12, 13), true, kStamp, "V+", "12 м3", "13 м3"},
    // Operating time: the value-type rendering is replaced.
    {"OperatingTime", JournalRecord(0, 34, 1501, 0), true, kStamp, "Время работы", "1-сут 01:01",
     "0:00"},
    {"OperatingTimeOverridesType", JournalRecord(6, 34, 59, 99), true, kStamp, "Время работы",
     "0-сут 00:59", "0:00"},
    {"OperatingTimeDaysWrapAt65536", JournalRecord(0, 34, 65536u * 1440u + 61u, 0), true, kStamp,
     "Время работы", "0-сут 01:01", "0:00"},
    {"OperatingTimeLargest", JournalRecord(0, 34, 0xFFFFFFFF, 0), true, kStamp, "Время работы",
     "33496-сут 04:15", "0:00"},
    // Event codes: twelve bits; the four bits above are the value type.
    {"UnnamedEvent", JournalRecord(0, 69, 0, 0), true, kStamp, "Параметр 69", "", ""},
    {"UnnamedBetweenNamed", JournalRecord(0, 4, 0, 0), true, kStamp, "Параметр 4", "", ""},
    {"LargestEventCode", JournalRecord(15, 0x0FFF, 0, 0), true, kStamp, "Параметр 4095", "", ""},
    // Invalid stamps that are not empty pages are decoded in full.
    {"Minute60", Stamped(JournalRecord(2, 0, 3, 4), 26, 12, 8, 14, 60, 9), true,
     "Некоректное время", "Включение питания", "3", "4"},
    {"Hour24", Stamped(JournalRecord(0, 1, 0, 0), 26, 12, 8, 24, 0, 0), true, "Некоректное время",
     "Режим РАБОТА", "", ""},
    {"Feb29In2026", Stamped(JournalRecord(0, 1, 0, 0), 26, 2, 29, 0, 0, 0), true,
     "Некоректное время", "Режим РАБОТА", "", ""},
    {"LeapDay2028", Stamped(JournalRecord(0, 1, 0, 0), 28, 2, 29, 23, 59, 59), true,
     "29/02/28 23:59:59", "Режим РАБОТА", "", ""},
    {"ZeroDateWithHour5", Stamped(JournalRecord(0, 1, 0, 0), 0, 0, 0, 5, 0, 0), true,
     "Некоректное время", "Режим РАБОТА", "", ""},
    // Empty pages of the ring.
    {"SkippedPage", RecordOf<JournalStruct>({0, 0, 0, 0, 14, 5, 0x01, 0x10, 1}), false,
     "Пропущ.страница", "xxxx", "xxxx", "xxxx"},
    {"ErasedPage",
     RecordOf<JournalStruct>({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), false,
     "Стертая страница", "xxxx", "xxxx", "xxxx"},
};

class JournalDecodeCases : public testing::TestWithParam<JournalCase> {
protected:
    ScopedSeparators separators{'/', ':'};
};

TEST_P(JournalDecodeCases, SetsAllFourTexts) {
    const JournalCase& c = GetParam();
    JournalDecodeStruct decoded;
    EXPECT_EQ(decoded.Decode(c.record), c.result);
    EXPECT_EQ(decoded.dateTimeText, c.dateTimeText);
    EXPECT_EQ(decoded.paramText, c.paramText);
    EXPECT_EQ(decoded.oldText, c.oldText);
    EXPECT_EQ(decoded.newText, c.newText);
}

INSTANTIATE_TEST_SUITE_P(Records, JournalDecodeCases, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A decoder reused over a list starts every record with empty value texts.
TEST(JournalDecode, ReuseClearsTextsOfRecordBefore) {
    JournalDecodeStruct decoded;
    ASSERT_TRUE(decoded.Decode(JournalRecord(6, 17, 1, 2)));
    ASSERT_EQ(decoded.oldText, "1");
    ASSERT_TRUE(decoded.Decode(JournalRecord(0, 17, 1, 2)));
    EXPECT_EQ(decoded.oldText, "");
    EXPECT_EQ(decoded.newText, "");
}

TEST(JournalDecode, DateAndTimeFields) {
    JournalDecodeStruct decoded;
    ASSERT_TRUE(decoded.Decode(JournalRecord(0, 1, 0, 0)));
    TDateTime date = 0, time = 0;
    ASSERT_TRUE(TryEncodeDate(2026, 12, 8, date));
    ASSERT_TRUE(TryEncodeTime(14, 5, 9, 0, time));
    EXPECT_EQ(decoded.date, date);
    EXPECT_EQ(decoded.time, time);

    // An invalid time keeps the time of the record before; the date is new.
    ASSERT_TRUE(decoded.Decode(Stamped(JournalRecord(0, 1, 0, 0), 27, 1, 2, 3, 61, 0)));
    TDateTime nextDate = 0;
    ASSERT_TRUE(TryEncodeDate(2027, 1, 2, nextDate));
    EXPECT_EQ(decoded.date, nextDate);
    EXPECT_EQ(decoded.time, time);

    // An invalid date keeps both.
    ASSERT_TRUE(decoded.Decode(Stamped(JournalRecord(0, 1, 0, 0), 27, 13, 2, 3, 4, 5)));
    EXPECT_EQ(decoded.date, nextDate);
    EXPECT_EQ(decoded.time, time);
}

// The stamp patterns quote their slashes; the time separator is the system's.
TEST(JournalDecode, TimeSeparatorApplied) {
    ScopedSeparators separators('.', '.');
    JournalDecodeStruct decoded;
    ASSERT_TRUE(decoded.Decode(JournalRecord(0, 1, 0, 0)));
    EXPECT_EQ(decoded.dateTimeText, "08/12/26 14.05.09");
    ASSERT_TRUE(decoded.Decode(WithEmbeddedStamp(27, 3, 9, 8, 7, 6)));
    EXPECT_EQ(decoded.oldText, "09/03/27 08.07.06");
}

}  // namespace

// Archive records into page texts: the date texts of the three kinds, the
// number formats, the flag characters and the three kinds of unusable record.
#include "ArchiveDecodeStruct.h"
#include "RecordBuilders.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <ostream>
#include <string>

using namespace ZQ_namespace;

namespace {

ZQ_PRINT_CASES_BY_NAME

struct UsableCase {
    const char* name;
    ArchiveStruct record;
    ArchiveKind kind;
    const char* dateText;
    const char* vPlusText;
    const char* vMinusText;
    const char* workText;
    const char* flagsText;
};

void PrintTo(const UsableCase& c, std::ostream* os) {
    *os << c.name;
}

// 8 December 2026, hour byte 14: the record of the device's own example.
ArchiveStruct Example(ArchiveKind = akHour) {
    return ArchiveRecord(0x1A, 0x0C, 0x08, 0x0E, 1.0f, 0.0f, 60, 0x09);
}

const UsableCase kUsable[] = {
    {"HourExample", Example(), akHour, "08/12/26  15 ч", "00000001.000", "00000000.000", "01:00",
     "1--4"},
    {"DayExample", Example(), akDay, "08/12/26", "00000001.000", "00000000.000", "01:00", "1--4"},
    {"MonthExample", Example(), akMonth, "12/26", "00000001.000", "00000000.000", "01:00", "1--4"},
    {"HourZeroShownAsOne", ArchiveRecord(26, 12, 8, 0, 0, 0, 0, 0), akHour, "08/12/26  01 ч",
     "00000000.000", "00000000.000", "00:00", "----"},
    {"Hour23ShownAs24", ArchiveRecord(26, 12, 8, 23, 0, 0, 0, 0), akHour, "08/12/26  24 ч",
     "00000000.000", "00000000.000", "00:00", "----"},
    {"HourNotValidated", ArchiveRecord(26, 12, 8, 30, 0, 0, 0, 0), akHour, "08/12/26  31 ч",
     "00000000.000", "00000000.000", "00:00", "----"},
    {"HourByte255ThreeDigits", ArchiveRecord(26, 12, 8, 255, 0, 0, 0, 0), akHour, "08/12/26  256 ч",
     "00000000.000", "00000000.000", "00:00", "----"},
    {"DayIgnoresHourByte", ArchiveRecord(26, 12, 8, 200, 0, 0, 0, 0), akDay, "08/12/26",
     "00000000.000", "00000000.000", "00:00", "----"},
    {"LeapDay2028", ArchiveRecord(28, 2, 29, 0, 0, 0, 0, 0), akDay, "29/02/28", "00000000.000",
     "00000000.000", "00:00", "----"},
    {"Year2000", ArchiveRecord(0, 1, 1, 0, 0, 0, 0, 0), akMonth, "01/00", "00000000.000",
     "00000000.000", "00:00", "----"},
    {"Year2255", ArchiveRecord(255, 12, 31, 0, 0, 0, 0, 0), akDay, "31/12/55", "00000000.000",
     "00000000.000", "00:00", "----"},
    {"VolumesWidenedAndPadded", ArchiveRecord(26, 12, 8, 0, 12.5f, -1.25f, 0, 0), akDay, "08/12/26",
     "00000012.500", "-0000001.250", "00:00", "----"},
    {"VolumeWiderThanField", ArchiveRecord(26, 12, 8, 0, 123456789.0f, 0.001f, 0, 0), akDay,
     "08/12/26", "123456792.000", "00000000.001", "00:00", "----"},
    {"LargestFloatNotCut", ArchiveRecord(26, 12, 8, 0, FLT_MAX, 0, 0, 0), akDay, "08/12/26",
     "340282346638528859811704183484516925440.000", "00000000.000", "00:00", "----"},
    {"Work61Minutes", ArchiveRecord(26, 12, 8, 0, 0, 0, 61, 0), akDay, "08/12/26", "00000000.000",
     "00000000.000", "01:01", "----"},
    {"Work6000Minutes", ArchiveRecord(26, 12, 8, 0, 0, 0, 6000, 0), akDay, "08/12/26",
     "00000000.000", "00000000.000", "100:00", "----"},
    {"WorkAll24Bits", ArchiveRecord(26, 12, 8, 0, 0, 0, 0xFFFFFF, 0), akDay, "08/12/26",
     "00000000.000", "00000000.000", "279620:15", "----"},
    {"WorkMiddleByte", ArchiveRecord(26, 12, 8, 0, 0, 0, 0x000100, 0), akDay, "08/12/26",
     "00000000.000", "00000000.000", "04:16", "----"},
    {"FlagsOneAndThree", ArchiveRecord(26, 12, 8, 0, 0, 0, 0, 0x05), akDay, "08/12/26",
     "00000000.000", "00000000.000", "00:00", "1-3-"},
    {"FlagsAllFour", ArchiveRecord(26, 12, 8, 0, 0, 0, 0, 0x0F), akDay, "08/12/26", "00000000.000",
     "00000000.000", "00:00", "1234"},
    {"FlagsHighBitsIgnored", ArchiveRecord(26, 12, 8, 0, 0, 0, 0, 0xFF), akDay, "08/12/26",
     "00000000.000", "00000000.000", "00:00", "1234"},
    {"FlagsOnlyHighBits", ArchiveRecord(26, 12, 8, 0, 0, 0, 0, 0xF2), akDay, "08/12/26",
     "00000000.000", "00000000.000", "00:00", "-2--"},
};

class ArchiveDecodeUsable : public testing::TestWithParam<UsableCase> {
protected:
    ScopedSeparators separators{'/', ':'};
};

TEST_P(ArchiveDecodeUsable, SetsEveryText) {
    const UsableCase& c = GetParam();
    ArchiveDecodeStruct decoded;
    ASSERT_TRUE(decoded.Decode(c.record, c.kind));
    EXPECT_EQ(decoded.dateText, c.dateText);
    EXPECT_EQ(decoded.vPlusText, c.vPlusText);
    EXPECT_EQ(decoded.vMinusText, c.vMinusText);
    EXPECT_EQ(decoded.workText, c.workText);
    EXPECT_EQ(decoded.flagsText, c.flagsText);
    TDateTime midnight = 0;
    ASSERT_TRUE(TryEncodeDate(2000 + c.record.year, c.record.month, c.record.day, midnight));
    EXPECT_EQ(decoded.dateTime, midnight);
}

INSTANTIATE_TEST_SUITE_P(Records, ArchiveDecodeUsable, testing::ValuesIn(kUsable),
                         [](const auto& info) { return std::string(info.param.name); });

struct UnusableCase {
    const char* name;
    ArchiveStruct record;
    const char* dateText;
};

void PrintTo(const UnusableCase& c, std::ostream* os) {
    *os << c.name;
}

const UnusableCase kUnusable[] = {
    {"SkippedPage", RecordOf<ArchiveStruct>({0, 0, 0, 0, 1, 2, 3}), "Пропущ.страница"},
    {"ErasedPage", RecordOf<ArchiveStruct>({0xFF, 0xFF, 0xFF, 0xFF, 0, 0}), "Стертая страница"},
    {"Month13", RecordOf<ArchiveStruct>({0x1A, 0x0D, 0x01, 0x00}), "Некоректное время"},
    {"ZeroDateWithHour5", RecordOf<ArchiveStruct>({0, 0, 0, 5}), "Некоректное время"},
    {"ErasedDateWithHour0", RecordOf<ArchiveStruct>({0xFF, 0xFF, 0xFF, 0}), "Некоректное время"},
    {"Month0", RecordOf<ArchiveStruct>({26, 0, 8, 0}), "Некоректное время"},
    {"Day0", RecordOf<ArchiveStruct>({26, 12, 0, 0}), "Некоректное время"},
    {"April31", RecordOf<ArchiveStruct>({26, 4, 31, 0}), "Некоректное время"},
    {"Feb29In2026", RecordOf<ArchiveStruct>({26, 2, 29, 0}), "Некоректное время"},
};

class ArchiveDecodeUnusable : public testing::TestWithParam<UnusableCase> {};

// An unusable record sets only the date text; a decoder reused over a list
// keeps the other fields of the record before.
TEST_P(ArchiveDecodeUnusable, SetsOnlyDateText) {
    const UnusableCase& c = GetParam();
    for (ArchiveKind kind : {akHour, akDay, akMonth}) {
        ArchiveDecodeStruct decoded;
        ASSERT_TRUE(decoded.Decode(ArchiveRecord(26, 12, 8, 0, 2.0f, 3.0f, 61, 0x01), kind));
        const ArchiveDecodeStruct before = decoded;
        EXPECT_FALSE(decoded.Decode(c.record, kind)) << kind;
        EXPECT_EQ(decoded.dateText, c.dateText) << kind;
        EXPECT_EQ(decoded.dateTime, before.dateTime);
        EXPECT_EQ(decoded.vPlusText, before.vPlusText);
        EXPECT_EQ(decoded.vMinusText, before.vMinusText);
        EXPECT_EQ(decoded.workText, before.workText);
        EXPECT_EQ(decoded.flagsText, before.flagsText);
    }
}

INSTANTIATE_TEST_SUITE_P(Records, ArchiveDecodeUnusable, testing::ValuesIn(kUnusable),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ArchiveDecode, OtherKindKeepsDateTextButSetsTheRest) {
    ScopedSeparators separators('/', ':');
    ArchiveDecodeStruct decoded;
    decoded.dateText = "kept";
    ASSERT_TRUE(decoded.Decode(Example(), akJournal));
    EXPECT_EQ(decoded.dateText, "kept");
    EXPECT_EQ(decoded.vPlusText, "00000001.000");
    EXPECT_EQ(decoded.flagsText, "1--4");
}

// The archive date patterns quote their slashes, so the system's date
// separator never replaces them.
TEST(ArchiveDecode, QuotedSlashIgnoresDateSeparator) {
    ScopedSeparators separators('.', '.');
    ArchiveDecodeStruct decoded;
    ASSERT_TRUE(decoded.Decode(Example(), akHour));
    EXPECT_EQ(decoded.dateText, "08/12/26  15 ч");
    ASSERT_TRUE(decoded.Decode(Example(), akMonth));
    EXPECT_EQ(decoded.dateText, "12/26");
}

}  // namespace

// Day-count dates: validity, encoding against known day numbers, pattern
// formatting and rounding at the end of a day.
#include "DateTime.h"
#include "RecordBuilders.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

namespace {

ZQ_PRINT_CASES_BY_NAME

struct DateCase {
    const char* name;
    int year, month, day;
    bool valid;
};

void PrintTo(const DateCase& c, std::ostream* os) {
    *os << c.name;
}

const DateCase kDates[] = {
    {"Feb29Leap2028", 2028, 2, 29, true},
    {"Feb29Common2026", 2026, 2, 29, false},
    {"Feb29Century2100", 2100, 2, 29, false},
    {"Feb29Leap2000", 2000, 2, 29, true},
    {"Feb28Common", 2026, 2, 28, true},
    {"April31", 2026, 4, 31, false},
    {"Dec31", 2026, 12, 31, true},
    {"Month0", 2026, 0, 1, false},
    {"Month13", 2026, 13, 1, false},
    {"Day0", 2026, 1, 0, false},
    {"Year2255", 2255, 12, 31, true},
};

class DateValidity : public testing::TestWithParam<DateCase> {};

TEST_P(DateValidity, ValidAndEncodable) {
    const DateCase& c = GetParam();
    EXPECT_EQ(IsValidDate(c.year, c.month, c.day), c.valid);
    TDateTime value = -1;
    EXPECT_EQ(TryEncodeDate(c.year, c.month, c.day, value), c.valid);
    if (c.valid) {
        int y = 0, m = 0, d = 0;
        DecodeDate(value, y, m, d);
        EXPECT_EQ(y, c.year);
        EXPECT_EQ(m, c.month);
        EXPECT_EQ(d, c.day);
    } else {
        EXPECT_EQ(value, -1) << "a failed encode leaves the result alone";
    }
}

INSTANTIATE_TEST_SUITE_P(Dates, DateValidity, testing::ValuesIn(kDates),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DateTime, KnownDayNumbers) {
    const struct {
        int year, month, day;
        double days;
    } kKnown[] = {{1899, 12, 30, 0},
                  {1900, 1, 1, 2},
                  {2000, 1, 1, 36526},
                  {2012, 1, 1, 40909},
                  {2026, 12, 8, 46364}};
    for (const auto& k : kKnown) {
        TDateTime value = 0;
        ASSERT_TRUE(TryEncodeDate(k.year, k.month, k.day, value));
        EXPECT_EQ(value, k.days) << k.year << "-" << k.month << "-" << k.day;
    }
}

TEST(DateTime, TimeValidityAndFractions) {
    TDateTime t = 0;
    ASSERT_TRUE(TryEncodeTime(12, 0, 0, 0, t));
    EXPECT_EQ(t, 0.5);
    ASSERT_TRUE(TryEncodeTime(6, 0, 0, 0, t));
    EXPECT_EQ(t, 0.25);
    ASSERT_TRUE(TryEncodeTime(23, 59, 59, 999, t));
    const struct {
        int h, n, s, ms;
    } kInvalid[] = {{24, 0, 0, 0}, {25, 0, 0, 0},   {0, 60, 0, 0},
                    {0, 0, 60, 0}, {0, 0, 0, 1000}, {-1, 0, 0, 0}};
    for (const auto& i : kInvalid) {
        TDateTime kept = 7;
        EXPECT_FALSE(TryEncodeTime(i.h, i.n, i.s, i.ms, kept)) << i.h << ":" << i.n << ":" << i.s;
        EXPECT_EQ(kept, 7);
    }
}

struct PatternCase {
    const char* name;
    const char* pattern;
    char dateSeparator;
    char timeSeparator;
    const char* expected;
};

void PrintTo(const PatternCase& c, std::ostream* os) {
    *os << c.name;
}

// 8 December 2026 14:05:09.007.
const PatternCase kPatterns[] = {
    {"QuotedSlashes", "dd'/'mm'/'yy", '.', ':', "08/12/26"},
    {"DateSeparatorReplacesSlash", "dd/mm/yyyy", '.', ':', "08.12.2026"},
    {"SlashSeparator", "dd/mm/yyyy", '/', ':', "08/12/2026"},
    {"TimeSeparator", "hh:nn:ss", '/', '.', "14.05.09"},
    {"StampWithTrailingSpace", "dd'/'mm'/'yy hh:nn:ss", '.', ':', "08/12/26 14:05:09"},
    {"FileNameStamp", "yymmdd_hhnnss", '.', '.', "261208_140509"},
    {"SingleLetters", "d.m.yy h:n:s", '/', ':', "8.12.26 14:5:9"},
    {"Milliseconds", "ss.zzz", '/', ':', "09.007"},
    {"UpperCaseLetters", "DD/MM/YYYY", '-', ':', "08-12-2026"},
    {"QuotedLetters", "'hh' hh", '/', ':', "hh 14"},
    {"DoubleQuotes", "\"d/m\" d", '.', ':', "d/m 8"},
    {"UnclosedQuote", "yy 'dd/mm", '.', ':', "26 dd/mm"},
    {"OtherCharactersCopied", "[yy]-#", '.', ':', "[26]-#"},
    {"RussianTextCopied", "dd' ч'", '.', ':', "08 ч"},
};

class DatePatterns : public testing::TestWithParam<PatternCase> {};

TEST_P(DatePatterns, Formats) {
    const PatternCase& c = GetParam();
    TDateTime date = 0, time = 0;
    ASSERT_TRUE(TryEncodeDate(2026, 12, 8, date));
    ASSERT_TRUE(TryEncodeTime(14, 5, 9, 7, time));
    FormatSettings settings;
    settings.DateSeparator = c.dateSeparator;
    settings.TimeSeparator = c.timeSeparator;
    EXPECT_EQ(FormatDateTime(c.pattern, date + time, settings), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Patterns, DatePatterns, testing::ValuesIn(kPatterns),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DateTime, DefaultSettingsUsedWhenNoneGiven) {
    TDateTime date = 0;
    ASSERT_TRUE(TryEncodeDate(2026, 12, 8, date));
    ScopedSeparators separators('-', '.');
    EXPECT_EQ(FormatDateTime("dd/mm hh:nn", date + 0.5), "08-12 12.00");
}

// A value a fraction of a millisecond before midnight belongs to the next
// day; it must never show as 24:00:00 or as the old day at 00:00:00.
TEST(DateTime, RoundingNearMidnight) {
    TDateTime date = 0;
    ASSERT_TRUE(TryEncodeDate(2026, 12, 31, date));
    FormatSettings settings;
    const std::string pattern = "dd/mm/yyyy hh:nn:ss.zzz";

    EXPECT_EQ(FormatDateTime(pattern, date + (86400000.0 - 0.4) / 86400000.0, settings),
              "01/01/2027 00:00:00.000");
    EXPECT_EQ(FormatDateTime(pattern, date + (86400000.0 - 1.0) / 86400000.0, settings),
              "31/12/2026 23:59:59.999");
    EXPECT_EQ(FormatDateTime(pattern, date + 1.0 / 86400000.0 * 0.4, settings),
              "31/12/2026 00:00:00.000");

    int h = 0, n = 0, s = 0, ms = 0;
    DecodeTime(std::nextafter(1.0, 0.0), h, n, s, ms);
    EXPECT_EQ(h * 3600000 + n * 60000 + s * 1000 + ms, 0) << h << ":" << n << ":" << s;
    DecodeTime(0.5 - 0.0004 / 86400.0, h, n, s, ms);
    EXPECT_EQ(h, 12);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(ms, 0);
}

// Values that no device produces but a damaged settings file may hold format
// as day 0 instead of overflowing; the ends of the range are still exact.
TEST(DateTime, OutOfRangeValuesFormatAsDayZero) {
    FormatSettings settings;
    const std::string pattern = "dd/mm/yyyy hh:nn:ss";
    for (double value :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity(), 1e300, -1e300, 2958466.0, -693594.0}) {
        EXPECT_EQ(FormatDateTime(pattern, value, settings), "30/12/1899 00:00:00") << value;
    }
    TDateTime first = 0, last = 0, lastTime = 0;
    ASSERT_TRUE(TryEncodeDate(1, 1, 1, first));
    ASSERT_TRUE(TryEncodeDate(9999, 12, 31, last));
    ASSERT_TRUE(TryEncodeTime(23, 59, 59, 0, lastTime));
    EXPECT_EQ(FormatDateTime(pattern, first, settings), "01/01/0001 00:00:00");
    EXPECT_EQ(FormatDateTime(pattern, last + lastTime, settings), "31/12/9999 23:59:59");
    // Before day 0 the fraction, without its sign, is the time of day.
    EXPECT_EQ(FormatDateTime(pattern, -0.75, settings), "30/12/1899 18:00:00");
    EXPECT_EQ(FormatDateTime(pattern, -(1.0 - 1e-12), settings), "30/12/1899 23:59:59");
}

TEST(DateTime, SeparatorsFromLocale) {
    const FormatSettings saved = DefaultFormatSettings();
    const char* lcAll = std::getenv("LC_ALL");
    const std::string savedLcAll = lcAll != nullptr ? lcAll : "";
    const struct {
        const char* locale;
        char date;
    } kLocales[] = {{"ru_RU.UTF-8", '.'}, {"C", '/'}, {"POSIX", '/'}, {"en_US.UTF-8", '/'}};
    for (const auto& l : kLocales) {
        setenv("LC_ALL", l.locale, 1);
        SetFormatSettingsFromLocale();
        EXPECT_EQ(DefaultFormatSettings().DateSeparator, l.date) << l.locale;
        EXPECT_EQ(DefaultFormatSettings().TimeSeparator, ':') << l.locale;
    }
    if (lcAll != nullptr) {
        setenv("LC_ALL", savedLcAll.c_str(), 1);
    } else {
        unsetenv("LC_ALL");
    }
    DefaultFormatSettings() = saved;
}

}  // namespace

// Texts of the parameter pages and the values the setup page holds.
#include "ParamsTexts.h"

#include <gtest/gtest.h>

namespace {

TEST(ParamsTexts, CurrentParamsFields) {
    CurrentParamsStruct p;
    p.G = 1.5f;
    p.Vd = 123.75;
    p.Vr = 0;
    p.Twork = 61;
    p.Ton = 6000;
    p.Serial = 42;
    p.DuIndex = 9;
    p.ImpulseWeight = 0.25f;
    p.ImpulseLength = 100;
    p.Gmin = 0.1f;
    p.Gmax = 12;
    p.CurrentCode = 20000;
    const CurrentParamsTexts t = FormatCurrentParams(p);
    EXPECT_EQ(t.G, "1.5000");
    EXPECT_EQ(t.Vd, "000000123.750");
    EXPECT_EQ(t.Vr, "000000000.000");
    EXPECT_EQ(t.Twork, "01:01");
    EXPECT_EQ(t.Ton, "100:00");
    EXPECT_EQ(t.Serial, "000000042");
    EXPECT_EQ(t.Du, "65");
    EXPECT_EQ(t.ImpulseWeight, "0.25");
    EXPECT_EQ(t.ImpulseLength, "100");
    EXPECT_EQ(t.Gmin, "0.1");
    EXPECT_EQ(t.Gmax, "12");
    EXPECT_EQ(t.CurrentValue, "20.000");
    p.DuIndex = 12;
    EXPECT_EQ(FormatCurrentParams(p).Du, "");
}

TEST(ParamsTexts, FlagList) {
    EXPECT_EQ(FormatFlagList(0), "");
    EXPECT_EQ(FormatFlagList(0x05), "1. Неисправность\n3. g < g_пор");
    EXPECT_EQ(FormatFlagList(0xF8), "4. g > g_макс");
}

TEST(ParamsTexts, SetupPageHoldsWhatItsControlsCan) {
    SetupParamsStruct p;
    p.NetAddress = 0;
    p.CalibrationCode = 20000;
    p.TestCode = 16383;
    p.TestMode = 5;
    p.ClearArchive = 1;
    p.Date = 46000;
    p.Time = 0.5;
    const SetupParamsStruct v = SetupPageValues(p);
    EXPECT_EQ(v.NetAddress, 1);
    EXPECT_EQ(v.CalibrationCode, 16383);
    EXPECT_EQ(v.TestCode, 16383);
    EXPECT_EQ(v.TestMode, 1);
    EXPECT_EQ(v.ClearArchive, 0);
    EXPECT_EQ(v.Date, 46000);
    EXPECT_EQ(v.Time, 0.5);
    p.NetAddress = 255;
    EXPECT_EQ(SetupPageValues(p).NetAddress, 254);
}

TEST(ParamsTexts, SetupRows) {
    SetupParamsStruct p;
    TryEncodeDate(2026, 12, 8, p.Date);
    TryEncodeTime(14, 5, 9, 0, p.Time);
    p.NetAddress = 17;
    DefaultFormatSettings() = FormatSettings{'.', ':'};
    const auto rows = SetupParamsRows(p);
    DefaultFormatSettings() = FormatSettings{};
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0], (std::pair<std::string, std::string>{"Время", "14:05:09"}));
    EXPECT_EQ(rows[1], (std::pair<std::string, std::string>{"Дата", "08.12.2026"}));
    EXPECT_EQ(rows[2].second, "17");
    EXPECT_EQ(rows[5].first, "Тестовый режим");
}

}  // namespace

// The parameter pages and the archive pages, offscreen, controls found by
// their object names.
#include "SettingsStore.h"
#include "ZQArchive.h"
#include "ZQCurrentParams.h"
#include "ZQSetupParams.h"

#include "DateTime.h"
#include "ParamsTexts.h"
#include "RecordTexts.h"

#include "CaseNames.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>

#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace ZQ_namespace;

namespace {

ZQ_PRINT_CASES_BY_NAME

template <typename T>
T* Find(QWidget& parent, const char* name) {
    T* widget = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

std::string Text(QLineEdit* edit) {
    return edit ? edit->text().toStdString() : std::string();
}

// ------------------------------------------------------------ current page

struct CurrentCase {
    const char* name;
    std::function<void(CurrentParamsStruct&)> fill;
    std::map<std::string, std::string> texts;  // edit name -> text shown
    uint8_t flagBits;
    int duIndex;  // -1: no selection
};

class CurrentPageTest : public testing::TestWithParam<CurrentCase> {};

TEST_P(CurrentPageTest, ShowsTheRecordAndKeepsIt) {
    const CurrentCase& c = GetParam();
    CurrentParamsStruct params;
    c.fill(params);
    TCurrentParamsFrame frame;
    frame.InitCurrentParamsFrame();
    frame.ShowCurrentParams(params);

    for (const auto& [name, text] : c.texts) {
        EXPECT_EQ(Text(Find<QLineEdit>(frame, name.c_str())), text) << name;
    }
    const char* boxes[4] = {"NS_1_0", "NS_1_1", "NS_1_2", "NS_1_3"};
    for (int bit = 0; bit < 4; ++bit) {
        QCheckBox* box = Find<QCheckBox>(frame, boxes[bit]);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->isChecked(), ((c.flagBits >> bit) & 1) != 0) << boxes[bit];
    }
    EXPECT_EQ(frame.FlagBits(), c.flagBits);
    QComboBox* du = Find<QComboBox>(frame, "Du");
    ASSERT_NE(du, nullptr);
    EXPECT_EQ(du->currentIndex(), c.duIndex);
    EXPECT_EQ(frame.ShownTexts().Du, FormatCurrentParams(params).Du);
    EXPECT_EQ(frame.GetCurrentParams(), params);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, CurrentPageTest,
    testing::Values(
        CurrentCase{"FaultAndBelowThreshold_HighBitsIgnored",
                    [](CurrentParamsStruct& p) { p.NSFlags = 0xF5; },
                    {},
                    0x05,
                    0},
        CurrentCase{"Du9Is65", [](CurrentParamsStruct& p) { p.DuIndex = 9; }, {}, 0, 9},
        CurrentCase{
            "Du12ClearsTheSelection", [](CurrentParamsStruct& p) { p.DuIndex = 12; }, {}, 0, -1},
        CurrentCase{"TimesAsHoursAndMinutes",
                    [](CurrentParamsStruct& p) {
                        p.Twork = 61;
                        p.Ton = 6000;
                    },
                    {{"Twork", "01:01"}, {"Ton", "100:00"}},
                    0,
                    0},
        CurrentCase{"CurrentCode20000",
                    [](CurrentParamsStruct& p) { p.CurrentCode = 20000; },
                    {{"CurrentValue", "20.000"}},
                    0,
                    0},
        CurrentCase{"NumbersOfTheOtherFields",
                    [](CurrentParamsStruct& p) {
                        p.G = 1.5f;
                        p.Vd = 123.75;
                        p.Vr = 0;
                        p.Serial = 12345;
                        p.ImpulseWeight = 0.25f;
                        p.ImpulseLength = 100;
                        p.Gmin = 0.05f;
                        p.Gmax = 160;
                    },
                    {{"G", "1.5000"},
                     {"Vd", "000000123.750"},
                     {"Vr", "000000000.000"},
                     {"Serial", "000012345"},
                     {"ImpulseWeight", "0.25"},
                     {"ImpulseLength", "100"},
                     {"Gmin", "0.05"},
                     {"Gmax", "160"}},
                    0,
                    0}),
    [](const testing::TestParamInfo<CurrentCase>& info) { return std::string(info.param.name); });

// Read-only for the user without greying: mouse, keys and an accessibility
// click change nothing; the serial number stays selectable.
TEST(CurrentPage, UserCannotChangeItButCanReachAndCopyIt) {
    TCurrentParamsFrame frame;
    frame.InitCurrentParamsFrame();
    CurrentParamsStruct params;
    params.NSFlags = 0x01;
    params.DuIndex = 3;
    params.Serial = 987654321;
    frame.ShowCurrentParams(params);
    frame.show();

    QCheckBox* fault = Find<QCheckBox>(frame, "NS_1_0");
    QCheckBox* below = Find<QCheckBox>(frame, "NS_1_1");
    QComboBox* du = Find<QComboBox>(frame, "Du");
    QLineEdit* serial = Find<QLineEdit>(frame, "Serial");
    ASSERT_TRUE(fault && below && du && serial);
    EXPECT_EQ(fault->text().toStdString(), "1.Неисправность");
    EXPECT_EQ(Find<QCheckBox>(frame, "NS_1_3")->text().toStdString(), "4.g > g_макс");

    QTest::mouseClick(fault, Qt::LeftButton);
    QTest::mouseClick(below, Qt::LeftButton);
    below->setFocus();
    QTest::keyClick(below, Qt::Key_Space);
    below->click();  // what an accessibility "toggle" does
    du->setFocus();
    QTest::keyClick(du, Qt::Key_Down);
    QTest::keyClick(du, Qt::Key_End);
    emit du->activated(7);  // a pick from the list by other means
    EXPECT_TRUE(fault->isChecked());
    EXPECT_FALSE(below->isChecked());
    EXPECT_EQ(du->currentIndex(), 3);
    EXPECT_EQ(frame.FlagBits(), 0x01);

    for (QWidget* w : std::initializer_list<QWidget*>{fault, below, du, serial}) {
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
        EXPECT_NE(w->focusPolicy() & Qt::TabFocus, 0) << w->objectName().toStdString();
    }
    EXPECT_TRUE(serial->isReadOnly());
    serial->selectAll();
    EXPECT_EQ(serial->selectedText(), QStringLiteral("987654321"));
    EXPECT_EQ(frame.SerialText(), QStringLiteral("987654321"));
    // A refresh with the same serial keeps the user's selection.
    params.G = 2;
    frame.ShowCurrentParams(params);
    EXPECT_EQ(serial->selectedText(), QStringLiteral("987654321"));
}

// -------------------------------------------------------------- setup page

void WriteCalibration(const std::function<void(SettingsStore&)>& write) {
    SettingsStore store;
    write(store);
    ASSERT_TRUE(store.Sync());
}

struct CalibrationCase {
    const char* name;
    std::function<void(SettingsStore&)> write;
    bool visible;
};

class SetupPageCalibrationTest : public testing::TestWithParam<CalibrationCase> {};

TEST_P(SetupPageCalibrationTest, CurrentOutputGroupsFollowTheSetting) {
    WriteCalibration(GetParam().write);
    TSetupParamsFrame frame;
    frame.InitSetupParamsFrame();
    EXPECT_EQ(frame.CalibrationVisible(), GetParam().visible);
    EXPECT_EQ(Find<QGroupBox>(frame, "GroupBox3")->isVisibleTo(&frame), GetParam().visible);
    EXPECT_EQ(Find<QGroupBox>(frame, "GroupBox4")->isVisibleTo(&frame), GetParam().visible);
    EXPECT_TRUE(Find<QGroupBox>(frame, "GroupBox1")->isVisibleTo(&frame));
    EXPECT_TRUE(Find<QGroupBox>(frame, "GroupBox2")->isVisibleTo(&frame));
}

INSTANTIATE_TEST_SUITE_P(
    EnableCalibration, SetupPageCalibrationTest,
    testing::Values(
        CalibrationCase{
            "Zero", [](SettingsStore& s) { s.WriteInteger(kProgramKey, "EnableCalibration", 0); },
            false},
        CalibrationCase{
            "One", [](SettingsStore& s) { s.WriteInteger(kProgramKey, "EnableCalibration", 1); },
            true},
        CalibrationCase{
            "StoredAsText",
            [](SettingsStore& s) { s.WriteString(kProgramKey, "EnableCalibration", "1"); }, false},
        CalibrationCase{
            "AnyNonZero",
            [](SettingsStore& s) { s.WriteInteger(kProgramKey, "EnableCalibration", 7); }, true}),
    [](const testing::TestParamInfo<CalibrationCase>& info) {
        return std::string(info.param.name);
    });

// What the page gives back is what a file saved from the window stores
// (SetupPageValues): clamped to the spin ranges, TestMode 0 or 1.
TEST(SetupPage, ReadsBackWhatItShows) {
    TSetupParamsFrame frame;
    frame.InitSetupParamsFrame();
    SetupParamsStruct params;
    ASSERT_TRUE(TryEncodeDate(2026, 12, 8, params.Date));
    ASSERT_TRUE(TryEncodeTime(14, 5, 9, 0, params.Time));
    params.NetAddress = 0;
    params.CalibrationCode = 20000;
    params.TestCode = 1234;
    params.TestMode = 5;
    params.ClearArchive = 1;
    frame.ShowSetupParams(params);

    EXPECT_TRUE(Find<QCheckBox>(frame, "TestMode")->isChecked());
    EXPECT_EQ(Find<QSpinBox>(frame, "NetAddress")->value(), 1);
    EXPECT_EQ(Find<QDateEdit>(frame, "CurrentDate")->date(), QDate(2026, 12, 8));
    EXPECT_EQ(Find<QTimeEdit>(frame, "CurrentTime")->time(), QTime(14, 5, 9));
    const SetupParamsStruct back = frame.GetSetupParams();
    EXPECT_EQ(back.TestMode, 1);
    EXPECT_EQ(back, SetupPageValues(params));

    // Day 0 (nothing read yet) shows as no date and reads back as 0.
    frame.ShowSetupParams(SetupParamsStruct{});
    EXPECT_EQ(Find<QDateEdit>(frame, "CurrentDate")->text().toStdString(), "нет даты");
    EXPECT_EQ(frame.GetSetupParams().Date, 0);
    EXPECT_EQ(frame.GetSetupParams().TestMode, 0);
}

// ----------------------------------------------------------- archive pages

template <typename Record>
Record MakeRecord(std::array<uint8_t, 16> bytes) {
    Record record;
    std::memcpy(&record, bytes.data(), sizeof record);
    return record;
}

// 8 December 2026, hour byte 14, V+ 1.0, V- 0.0, 60 minutes, flags 0x09.
const ArchiveStruct kGoodArchive = MakeRecord<ArchiveStruct>(
    {0x1A, 0x0C, 0x08, 0x0E, 0, 0, 0x80, 0x3F, 0, 0, 0, 0, 0x3C, 0, 0, 0x09});
const ArchiveStruct kMonth13 =
    MakeRecord<ArchiveStruct>({0x1A, 0x0D, 0x01, 0, 0, 0, 0x80, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0});
const ArchiveStruct kSkippedArchive = MakeRecord<ArchiveStruct>({});
const ArchiveStruct kErasedArchive =
    MakeRecord<ArchiveStruct>({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                               0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
// 8 December 2026 14:05:09, value type 1, event 1 ("Режим РАБОТА"), old 1, new 0.
const JournalStruct kGoodJournal = MakeRecord<JournalStruct>(
    {0x1A, 0x0C, 0x08, 0x0E, 0x05, 0x09, 0x01, 0x10, 1, 0, 0, 0, 0, 0, 0, 0});
// The same with minute 60.
const JournalStruct kMinute60 = MakeRecord<JournalStruct>(
    {0x1A, 0x0C, 0x08, 0x0E, 0x3C, 0x09, 0x01, 0x10, 1, 0, 0, 0, 0, 0, 0, 0});
const JournalStruct kSkippedJournal = MakeRecord<JournalStruct>({});

struct ArchivePageCase {
    const char* name;
    ArchiveKind kind;
    std::vector<ArchiveStruct> archive;  // for akHour .. akMonth
    std::vector<JournalStruct> journal;  // for akJournal
    std::vector<TArchiveModel::Row> rows;
};

class ArchivePageTest : public testing::TestWithParam<ArchivePageCase> {};

// Each list is shown twice: the rows must appear once.
TEST_P(ArchivePageTest, OneRowPerUsableRecord) {
    const ArchivePageCase& c = GetParam();
    TArchiveFrame frame;
    frame.SetupColumns(c.kind);
    for (int pass = 0; pass < 2; ++pass) {
        if (c.kind == akJournal) {
            frame.ShowJournal(c.journal);
        } else {
            frame.ShowArchive(c.archive, c.kind);
        }
    }
    QTableView* view = Find<QTableView>(frame, "ListView");
    ASSERT_EQ(view, frame.ListView);
    const size_t columns = c.kind == akJournal ? 4 : 5;
    ASSERT_EQ(view->model()->columnCount(), static_cast<int>(columns));
    for (size_t col = 0; col < columns; ++col) {
        const char* header =
            c.kind == akJournal ? kJournalColumnNames[col] : kArchiveColumnNames[col];
        EXPECT_EQ(view->model()->headerData(col, Qt::Horizontal).toString().toStdString(), header);
    }
    ASSERT_EQ(view->model()->rowCount(), static_cast<int>(c.rows.size()));
    EXPECT_EQ(frame.RowTexts(), c.rows);
    for (size_t row = 0; row < c.rows.size(); ++row) {
        for (size_t col = 0; col < columns; ++col) {
            EXPECT_EQ(view->model()->index(row, col).data().toString().toStdString(),
                      c.rows[row][col]);
        }
    }
    std::vector<int32_t> widths{99};
    frame.GetColumnWidths(widths);
    EXPECT_EQ(widths.size(), columns);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ArchivePageTest,
    testing::Values(
        ArchivePageCase{"EmptyHourList", akHour, {}, {}, {}},
        ArchivePageCase{"EmptyJournal", akJournal, {}, {}, {}},
        ArchivePageCase{"DayListWithoutUnusableRecords",
                        akDay,
                        {kSkippedArchive, kGoodArchive, kMonth13, kErasedArchive, kGoodArchive},
                        {},
                        {{"08/12/26", "00000001.000", "00000000.000", "01:00", "1--4"},
                         {"08/12/26", "00000001.000", "00000000.000", "01:00", "1--4"}}},
        ArchivePageCase{"OnlyUnusableRecords", akMonth, {kMonth13, kSkippedArchive}, {}, {}},
        ArchivePageCase{"HourDateText",
                        akHour,
                        {kGoodArchive},
                        {},
                        {{"08/12/26  15 ч", "00000001.000", "00000000.000", "01:00", "1--4"}}},
        ArchivePageCase{"JournalShowsInvalidTimes",
                        akJournal,
                        {},
                        {kGoodJournal, kSkippedJournal, kMinute60},
                        {{"08/12/26 14:05:09", "Режим РАБОТА", "Да", "Нет", ""},
                         {kInvalidTimeText, "Режим РАБОТА", "Да", "Нет", ""}}}),
    [](const testing::TestParamInfo<ArchivePageCase>& info) {
        return std::string(info.param.name);
    });

// Columns fit their header and their widest cell, wherever that cell is in a
// long list (the last row, a row in the middle); the last column takes the
// rest of the width.
TEST(ArchivePage, ColumnsFitTheirTextsAndTheLastTakesTheRest) {
    TArchiveFrame frame;
    frame.SetupColumns(akDay);
    std::vector<ArchiveStruct> list(5000, kGoodArchive);
    const float big = 1.0e12f;  // "%012.3f" gives 17 characters
    std::memcpy(list.back().vPlus, &big, sizeof big);
    const int middle = 2501;
    std::memcpy(list[middle].vMinus, &big, sizeof big);
    frame.ShowArchive(list, akDay);
    frame.resize(900, 300);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));

    std::vector<int32_t> widths;
    frame.GetColumnWidths(widths);
    ASSERT_EQ(widths.size(), 5u);
    // Qt's own fit to the rows in view, at the top, the middle and the bottom.
    QHeaderView* header = frame.ListView->horizontalHeader();
    for (const int row : {0, middle, 4999}) {
        frame.ListView->scrollTo(frame.ListView->model()->index(row, 0),
                                 QAbstractItemView::PositionAtCenter);
        for (int col = 0; col < 5; ++col) {
            const int fit =
                std::max(header->sectionSizeHint(col),
                         static_cast<QAbstractItemView*>(frame.ListView)->sizeHintForColumn(col));
            EXPECT_GE(widths[col], fit) << kArchiveColumnNames[col] << " at row " << row;
        }
    }
    int total = 0;
    for (int w : widths) {
        total += w;
    }
    EXPECT_GE(total, frame.ListView->viewport()->width());
}

}  // namespace

// The archive pages' consumption charts and the copying of the pages,
// offscreen.
#include "ConsumptionChart.h"
#include "ConsumptionSeries.h"
#include "SettingsStore.h"
#include "ZQArchive.h"
#include "ZQCurrentParams.h"
#include "ZQSetupParams.h"

#include "ArchiveDecodeStruct.h"
#include "DateTime.h"

#include "CaseNames.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

using namespace ZQ_namespace;

namespace {

ZQ_PRINT_CASES_BY_NAME

// An archive record of 2000 + year, month, day, hour with the two counters.
ArchiveStruct Record(int year, int month, int day, int hour, float vPlus, float vMinus = 0) {
    ArchiveStruct record{};
    record.year = static_cast<uint8_t>(year);
    record.month = static_cast<uint8_t>(month);
    record.day = static_cast<uint8_t>(day);
    record.hour = static_cast<uint8_t>(hour);
    std::memcpy(record.vPlus, &vPlus, sizeof vPlus);
    std::memcpy(record.vMinus, &vMinus, sizeof vMinus);
    return record;
}

const ArchiveStruct kSkippedPage{};

// ------------------------------------------------------------ the series

// One expected interval: the page's date text of its record, V+ and V-.
using Interval = std::tuple<std::string, double, double>;

struct SeriesCase {
    const char* name;
    ArchiveKind kind;
    std::vector<ArchiveStruct> list;  // newest first, as the device sends them
    std::vector<Interval> intervals;  // in time order
    bool hasVMinus;
};

void PrintTo(const SeriesCase& c, std::ostream* os) {
    *os << c.name;
}

class ConsumptionSeriesTest : public testing::TestWithParam<SeriesCase> {};

// Each interval carries the date text the table shows for its record, so a
// bar's tooltip names the row it comes from.
TEST_P(ConsumptionSeriesTest, IntervalsOfTheDecodedRecords) {
    const SeriesCase& c = GetParam();
    const zqui::ConsumptionSeries series = zqui::ComputeConsumption(c.list, c.kind);
    std::vector<Interval> got;
    for (const zqui::ConsumptionPoint& point : series.points) {
        got.emplace_back(zqui::SlotText(c.kind, point.slot), point.vPlus, point.vMinus);
    }
    EXPECT_EQ(got, c.intervals);
    EXPECT_EQ(series.hasVMinus, c.hasVMinus);

    std::vector<std::string> pageDates;
    ArchiveDecodeStruct decoded;
    for (const ArchiveStruct& record : c.list) {
        if (decoded.Decode(record, c.kind)) {
            pageDates.push_back(decoded.dateText);
        }
    }
    for (const Interval& interval : c.intervals) {
        EXPECT_NE(std::find(pageDates.begin(), pageDates.end(), std::get<0>(interval)),
                  pageDates.end())
            << std::get<0>(interval);
    }
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Archives, ConsumptionSeriesTest,
    testing::Values(
        // Hour 13 is missing: the increase 103 -> 110 spans two hours and
        // makes no bar, nor does the invalid date or the skipped page.
        SeriesCase{
            "HourlyWithGapAndInvalidDate",
            akHour,
            {Record(26, 12, 8, 15, 112.25f), Record(26, 12, 8, 14, 110), Record(26, 13, 8, 13, 105),
             kSkippedPage, Record(26, 12, 8, 12, 103), Record(26, 12, 8, 11, 101.5f),
             Record(26, 12, 8, 10, 100)},
            {{"08/12/26  12 ч", 1.5, 0}, {"08/12/26  13 ч", 1.5, 0}, {"08/12/26  16 ч", 2.25, 0}},
            false},
        // The page shows hour 24 as "25 ч", but it has no place in time.
        SeriesCase{"HourAbove23LeftOutAndMidnightJoinsTheDays",
                   akHour,
                   {Record(26, 12, 9, 0, 4), Record(26, 12, 8, 24, 50), Record(26, 12, 8, 23, 3),
                    Record(26, 12, 8, 22, 2.5f)},
                   {{"08/12/26  24 ч", 0.5, 0}, {"09/12/26  01 ч", 1, 0}},
                   false},
        // "Сброс архива" on the 3rd: V+ falls, that day has no bar.
        SeriesCase{"DailyCounterClearedAndVMinus",
                   akDay,
                   {Record(26, 12, 4, 0, 4, 0.25f), Record(26, 12, 3, 0, 1, 0),
                    Record(26, 12, 2, 0, 12, 0.5f), Record(26, 12, 1, 0, 10, 0)},
                   {{"02/12/26", 2, 0.5}, {"04/12/26", 3, 0.25}},
                   true},
        SeriesCase{"NotANumberMakesNoBarOnEitherSide",
                   akDay,
                   {Record(26, 12, 4, 0, 5), Record(26, 12, 3, 0, 3), Record(26, 12, 2, 0, kNaN),
                    Record(26, 12, 1, 0, 1)},
                   {{"04/12/26", 2, 0}},
                   false},
        // December to January is one month; February is missing.
        SeriesCase{"MonthlyAcrossTheYearWithAGap",
                   akMonth,
                   {Record(27, 3, 1, 0, 40), Record(27, 1, 1, 0, 30), Record(26, 12, 1, 0, 20),
                    Record(26, 11, 1, 0, 10)},
                   {{"12/26", 10, 0}, {"01/27", 10, 0}},
                   false},
        SeriesCase{"OneRecordNoInterval", akDay, {Record(26, 12, 1, 0, 10)}, {}, false}),
    [](const testing::TestParamInfo<SeriesCase>& info) { return std::string(info.param.name); });

// ------------------------------------------------------------- the chart

QBarSeries* Bars(TConsumptionChart* chart) {
    const QList<QAbstractSeries*> all = chart->chart()->series();
    return all.isEmpty() ? nullptr : qobject_cast<QBarSeries*>(all.first());
}

// The sum of what a bar set draws.
double Drawn(QBarSet* set) {
    double sum = 0;
    for (int i = 0; i < set->count(); ++i) {
        sum += set->at(i);
    }
    return sum;
}

int BarsWithData(const TConsumptionChart* chart) {
    int count = 0;
    for (const zqui::ConsumptionBucket& bucket : chart->Buckets()) {
        count += bucket.intervals > 0 ? 1 : 0;
    }
    return count;
}

// `days` daily records from 1 December 2026 (newest first), V+ up by 1.5 a
// day, V- by 0.25 on every third day when `reverse` is set; day `gap`
// (0: none) is missing.
std::vector<ArchiveStruct> Days(int days, bool reverse, int gap = 0) {
    std::vector<ArchiveStruct> list;
    TDateTime first = 0;
    TryEncodeDate(2026, 12, 1, first);
    for (int i = days - 1; i >= 0; --i) {
        if (i == gap && gap != 0) {
            continue;
        }
        int year = 0, month = 0, day = 0;
        DecodeDate(first + i, year, month, day);
        list.push_back(Record(year - 2000, month, day, 0, 100 + 1.5f * i,
                              reverse ? 0.25f * static_cast<float>(i / 3) : 0));
    }
    return list;
}

TEST(ConsumptionChart, FollowsEveryShowArchive) {
    TArchiveFrame frame;
    frame.SetupColumns(akDay);
    TConsumptionChart* chart = frame.ConsumptionChart;
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(chart, frame.findChild<TConsumptionChart*>(QStringLiteral("ConsumptionChart")));
    EXPECT_TRUE(chart->PlaceholderShown());
    EXPECT_EQ(chart->BarSetCount(), 0);

    frame.ShowArchive(Days(5, false), akDay);
    EXPECT_FALSE(chart->PlaceholderShown());
    ASSERT_EQ(chart->BarSetCount(), 1);
    EXPECT_EQ(Bars(chart)->barSets().first()->label().toStdString(), "V+");
    EXPECT_EQ(BarsWithData(chart), 4);
    EXPECT_DOUBLE_EQ(Drawn(Bars(chart)->barSets().first()), 4 * 1.5);

    // Ten days without the 6th: 9 records, 7 intervals; V- rises.
    frame.ShowArchive(Days(10, true, 6), akDay);
    ASSERT_EQ(chart->BarSetCount(), 2);
    EXPECT_EQ(Bars(chart)->barSets().at(1)->label().toStdString(), "V-");
    EXPECT_EQ(BarsWithData(chart), 7);
    EXPECT_DOUBLE_EQ(Drawn(Bars(chart)->barSets().at(0)), 7 * 1.5);
    // V- rises on days 4, 7 and 10; the rise to the 7th lies over the gap.
    EXPECT_DOUBLE_EQ(Drawn(Bars(chart)->barSets().at(1)), 0.25 * 2);
    EXPECT_FALSE(chart->IsZoomed());

    frame.ShowArchive({}, akDay);
    EXPECT_TRUE(chart->PlaceholderShown());
    EXPECT_EQ(chart->BarSetCount(), 0);

    TArchiveFrame journal;
    journal.SetupColumns(akJournal);
    EXPECT_EQ(journal.ConsumptionChart, nullptr);
}

// A long list is summed into at most one bar per 2 pixels; zooming makes
// the bars again, down to one an hour, and a new list shows all of itself.
TEST(ConsumptionChart, BarsFitThePlotAndKeepTheSums) {
    TArchiveFrame frame;
    frame.SetupColumns(akHour);
    frame.resize(900, 600);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    std::vector<ArchiveStruct> list;
    TDateTime first = 0;
    TryEncodeDate(2026, 1, 1, first);
    const int hours = 5000;
    for (int i = hours - 1; i >= 0; --i) {
        int year = 0, month = 0, day = 0;
        DecodeDate(first + i / 24, year, month, day);
        list.push_back(Record(year - 2000, month, day, i % 24, 0.5f * static_cast<float>(i)));
    }
    frame.ShowArchive(list, akHour);
    QApplication::processEvents();
    TConsumptionChart* chart = frame.ConsumptionChart;
    const double plotWidth = chart->chart()->plotArea().width();
    ASSERT_GT(plotWidth, 100);
    EXPECT_GT(chart->BucketWidth(), 1);
    EXPECT_LE(static_cast<double>(chart->Buckets().size()),
              plotWidth / TConsumptionChart::kPixelsPerBar + 2);
    EXPECT_DOUBLE_EQ(Drawn(Bars(chart)->barSets().first()), (hours - 1) * 0.5);

    const double start = static_cast<double>(chart->Series().points.front().slot);
    chart->ZoomTo(start + 10, start + 10);  // widened to the narrowest view
    EXPECT_DOUBLE_EQ(chart->ViewTo() - chart->ViewFrom(), TConsumptionChart::kMinViewSlots);
    chart->ZoomTo(start + 10, start + 40);
    EXPECT_TRUE(chart->IsZoomed());
    EXPECT_EQ(chart->BucketWidth(), 1);
    EXPECT_DOUBLE_EQ(chart->ViewTo() - chart->ViewFrom(), 30);
    EXPECT_EQ(chart->BarToolTip(0).section(QLatin1Char('\n'), 1).toStdString(), "V+: 0.500 м³");

    frame.ShowArchive(list, akHour);
    EXPECT_FALSE(chart->IsZoomed());
}

// ------------------------------------------------------------- copying

QString Clipboard() {
    return QApplication::clipboard()->text();
}

std::vector<ArchiveStruct> ThreeDays() {
    return {Record(26, 12, 3, 0, 3.5f), Record(26, 12, 2, 0, 2), Record(26, 12, 1, 0, 1, 0.25f)};
}

const char kArchiveHeader[] = "Дата\tV+\tV-\tTраб\tСтатус\n";
const char kDay3[] = "03/12/26\t00000003.500\t00000000.000\t00:00\t----\n";
const char kDay2[] = "02/12/26\t00000002.000\t00000000.000\t00:00\t----\n";
const char kDay1[] = "01/12/26\t00000001.000\t00000000.250\t00:00\t----\n";

TEST(Copying, ArchiveTableCopiesTheSelectedRowsOrAll) {
    TArchiveFrame frame;
    frame.SetupColumns(akDay);
    frame.ShowArchive(ThreeDays(), akDay);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    QTableView* view = frame.ListView;
    view->setFocus();

    EXPECT_EQ(frame.CopyText().toStdString(), std::string(kArchiveHeader) + kDay3 + kDay2 + kDay1);

    QItemSelectionModel* selection = view->selectionModel();
    selection->select(view->model()->index(2, 0),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(view->model()->index(0, 0),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const std::string twoRows = std::string(kArchiveHeader) + kDay3 + kDay1;
    EXPECT_EQ(frame.CopyText().toStdString(), twoRows);
    QApplication::clipboard()->clear();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(Clipboard().toStdString(), twoRows);

    // The context menu: "Копировать" and "Выделить всё".
    QStringList menu;
    for (QAction* action : view->actions()) {
        menu.append(action->text());
    }
    EXPECT_EQ(menu, QStringList({QStringLiteral("Копировать"), QStringLiteral("Выделить всё")}));
    EXPECT_EQ(view->contextMenuPolicy(), Qt::ActionsContextMenu);
    view->actions().at(1)->trigger();
    EXPECT_EQ(selection->selectedRows().size(), 3);
    view->actions().at(0)->trigger();
    EXPECT_EQ(Clipboard().toStdString(), std::string(kArchiveHeader) + kDay3 + kDay2 + kDay1);
}

TEST(Copying, JournalCopiesItsFourColumns) {
    // 8 December 2026 14:05:09, value type 1, event 1 ("Режим РАБОТА"), old 1, new 0.
    JournalStruct record;
    const uint8_t bytes[16] = {0x1A, 0x0C, 0x08, 0x0E, 0x05, 0x09, 0x01, 0x10,
                               1,    0,    0,    0,    0,    0,    0,    0};
    std::memcpy(&record, bytes, sizeof record);
    TArchiveFrame frame;
    frame.SetupColumns(akJournal);
    frame.ShowJournal({record, record});
    const std::string row = "08/12/26 14:05:09\tРежим РАБОТА\tДа\tНет\n";
    EXPECT_EQ(frame.CopyText().toStdString(),
              "Дата/Время\tПараметр\tСтарое значение\tНовое значение\n" + row + row);
}

TEST(Copying, CurrentPageCopiesItsLines) {
    TCurrentParamsFrame frame;
    frame.InitCurrentParamsFrame();
    CurrentParamsStruct params;
    params.G = 1.5f;
    params.Vd = 123.75;
    params.Twork = 61;
    params.Ton = 6000;
    params.NSFlags = 0x05;
    params.Serial = 12345;
    params.DuIndex = 3;
    params.ImpulseWeight = 0.25f;
    params.ImpulseLength = 100;
    params.Gmin = 0.05f;
    params.Gmax = 160;
    params.CurrentCode = 20000;
    frame.ShowCurrentParams(params);
    const std::string expected =
        "Расход  G\t1.5000\n"
        "Время работы Tраб\t01:01\n"
        "Время включения Твкл\t100:00\n"
        "Объем  в прямом направлении V+\t000000123.750\n"
        "Объем в обратном направлении V -\t000000000.000\n"
        "НС\t1.Неисправность, 3.g < g_пор\n"
        "Заводской номер\t000012345\n"
        "Ду\t32\n"
        "Вес импульса\t0.25\n"
        "Длительность импульса\t100\n"
        "g_пор\t0.05\n"
        "g_макс\t160\n"
        "Значение тока\t20.000\n";
    EXPECT_EQ(frame.CopyText().toStdString(), expected);

    // Ctrl+C on a flag box, and in a read-only edit with nothing selected,
    // copies the page; with a selection the edit copies its own text.
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    QApplication::clipboard()->clear();
    frame.NS_1_1->setFocus();
    QTest::keyClick(frame.NS_1_1, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(Clipboard().toStdString(), expected);
    QApplication::clipboard()->clear();
    frame.Serial->setFocus();
    frame.Serial->deselect();
    QTest::keyClick(frame.Serial, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(Clipboard().toStdString(), expected);
    frame.Serial->setSelection(0, 4);
    QTest::keyClick(frame.Serial, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(Clipboard().toStdString(), "0000");
    EXPECT_EQ(frame.contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_EQ(frame.Du->contextMenuPolicy(), Qt::NoContextMenu);
}

struct SetupCopyCase {
    const char* name;
    int enableCalibration;
    std::string expected;
};

void PrintTo(const SetupCopyCase& c, std::ostream* os) {
    *os << c.name;
}

class SetupPageCopyTest : public testing::TestWithParam<SetupCopyCase> {};

TEST_P(SetupPageCopyTest, CopiesTheShownGroupsOnly) {
    {
        SettingsStore store;
        store.WriteInteger(kProgramKey, "EnableCalibration", GetParam().enableCalibration);
        ASSERT_TRUE(store.Sync());
    }
    TSetupParamsFrame frame;
    frame.InitSetupParamsFrame();
    SetupParamsStruct params;
    ASSERT_TRUE(TryEncodeDate(2026, 12, 8, params.Date));
    ASSERT_TRUE(TryEncodeTime(14, 5, 9, 0, params.Time));
    params.NetAddress = 17;
    params.CalibrationCode = 16000;
    params.TestCode = 1234;
    params.TestMode = 1;
    frame.ShowSetupParams(params);
    EXPECT_EQ(frame.CopyText().toStdString(), GetParam().expected);
}

// The separators are those the test program's locale gives the editors.
std::string ClockLines() {
    const char date = DefaultFormatSettings().DateSeparator;
    const char time = DefaultFormatSettings().TimeSeparator;
    return std::string("Время\t14") + time + "05" + time + "09\nДата\t08" + date + "12" + date +
           "2026\n";
}

INSTANTIATE_TEST_SUITE_P(
    Calibration, SetupPageCopyTest,
    testing::Values(SetupCopyCase{"Hidden", 0, ClockLines() + "Сетевой адрес\t17\n"},
                    SetupCopyCase{"Shown", 1,
                                  ClockLines() + "Сетевой адрес\t17\n"
                                                 "Код 20 мА\t16000\n"
                                                 "Тестовый режим\tДа\n"
                                                 "Тестовый код\t1234\n"}),
    [](const testing::TestParamInfo<SetupCopyCase>& info) { return std::string(info.param.name); });

}  // namespace

// The workbook of an export, read back with openpyxl: sheets, values and
// their types, formats, widths, and the rows of unusable records.
#include "ExportWorkbook.h"
#include "ServerFixture.h"
#include "XlsxDump.h"

#include <cmath>
#include <limits>

namespace {

using namespace ZQ_namespace;

class Export : public ServerFixture {
protected:
    // Writes the export of `pages` and `valve` and reads it back; nullopt
    // (the test skips) without openpyxl.
    std::optional<XlsxDump> ExportAndRead(const ExportPageState& pages, const ZQValve& valve,
                                          int* pumps = nullptr) {
        TExcelExport excel;
        excel.StartServer();
        int count = 0;
        std::string failure;
        EXPECT_TRUE(FillExportWorkbook(
            excel, pages, valve, [&] { ++count; }, &failure))
            << failure;
        if (pumps) {
            *pumps = count;
        }
        const std::string path = Path("export.xlsx");
        EXPECT_TRUE(excel.WriteWorkbook(path));
        return DumpXlsx(path, why);
    }

    std::string why;
    ScopedSeparators separators{'.', ':'};
};

TEST_F(Export, LayoutOfTheSixSheets) {
    ExportPageState pages;
    pages.Current.G = "1,5";
    pages.Current.Vd = "nan";
    pages.Current.Vr = "000000002,250";
    pages.Current.Twork = "01:01";
    pages.Current.Ton = "100:00";
    pages.Current.Serial = "000000042";
    pages.Current.Du = "65";
    pages.Current.CurrentValue = "";
    pages.NSFlags = {true, false, true, false};
    pages.Time = TimeOf(14, 5, 9);
    pages.Date = DateOf(2026, 12, 8);
    pages.NetAddress = 17;
    pages.CalibrationCode = 16383;
    pages.CalibrationVisible = false;
    pages.ArchiveColumnWidths[0] = {100, 52, 53, 54, 300};

    ZQValve valve;
    valve.HourArchive = {ArchiveRecord(26, 12, 8, 14, 12.5f, 0.25f, 61, 0x05),
                         ArchiveRecord(26, 13, 8, 14, 1, 1, 1, 0),  // month 13
                         ArchiveRecord(26, 12, 8, 15, 13.0f, 0.5f, 121, 0)};
    valve.DayArchive = {
        ArchiveRecord(26, 12, 8, 0, std::numeric_limits<float>::quiet_NaN(), 1, 0, 0)};
    valve.Journal = {JournalRecord(1, 1, 1, 0), RecordOf<JournalStruct>({0, 0, 0, 0})};

    int pumps = 0;
    const std::optional<XlsxDump> dump = ExportAndRead(pages, valve, &pumps);
    if (!dump) {
        GTEST_SKIP() << why;
    }
    EXPECT_EQ(pumps, 6 + 3 + 1 + 0 + 2) << "after each sheet and each record";
    ASSERT_EQ(dump->SheetCount(), 6);
    const char* names[6] = {"Текущие параметры", "Настроечные параметры", "Часовой архив",
                            "Суточный архив",    "Месячный архив",        "Журнал  "};
    for (int i = 1; i <= 6; ++i) {
        EXPECT_EQ(dump->Name(i), QString::fromUtf8(names[i - 1]));
    }

    // Sheet 1: the page texts, three of them (and the current) as numbers.
    EXPECT_EQ(dump->Text(1, "A1"), "Параметр");
    EXPECT_EQ(dump->Text(1, "B1"), "Значение");
    for (const char* header : {"A1", "B1"}) {
        EXPECT_TRUE(dump->Cell(1, header).value("b").toBool());
        EXPECT_EQ(dump->Cell(1, header).value("h").toString(), "center");
        EXPECT_EQ(dump->Cell(1, header).value("va").toString(), "justify");
    }
    EXPECT_EQ(dump->Text(1, "A2"), "Расход");
    EXPECT_EQ(dump->Type(1, "B2"), "n");
    EXPECT_DOUBLE_EQ(dump->Number(1, "B2"), 1.5);
    EXPECT_EQ(dump->Type(1, "B3"), "e") << "a \"nan\" page text is an empty cell";
    EXPECT_DOUBLE_EQ(dump->Number(1, "B4"), 2.25);
    EXPECT_EQ(dump->Text(1, "A5"), "Tраб");
    EXPECT_EQ(dump->Text(1, "A5").at(0), QChar('T')) << "a Latin T";
    EXPECT_EQ(dump->Type(1, "B5"), "s");
    EXPECT_EQ(dump->Text(1, "B5"), "01:01");
    EXPECT_EQ(dump->Text(1, "A6"), "Tвкл");
    EXPECT_EQ(dump->Text(1, "B7"), "1. Неисправность\n3. g < g_пор");
    EXPECT_EQ(dump->Text(1, "B8"), "000000042");
    EXPECT_EQ(dump->Text(1, "A14"), "Значение тока");
    EXPECT_EQ(dump->Type(1, "B14"), "n");
    EXPECT_DOUBLE_EQ(dump->Number(1, "B14"), 0);
    EXPECT_EQ(dump->Type(1, "B13"), "e") << "an empty page text";
    EXPECT_EQ(dump->Type(1, "A15"), "e");
    EXPECT_EQ(dump->Cell(1, "B2").value("h").toString(), "left");
    EXPECT_EQ(dump->Cell(1, "B2").value("va").toString(), "justify");
    // The text format covers A1:B240; the data block goes on to row 241.
    EXPECT_EQ(dump->Cell(1, "B240").value("f").toString(), "@");
    EXPECT_EQ(dump->Cell(1, "A241").value("f").toString(), "General");
    EXPECT_EQ(dump->Cell(1, "A241").value("h").toString(), "left");
    EXPECT_EQ(dump->MaxRow(1), 241);
    for (int column : {1, 2}) {
        ASSERT_TRUE(dump->ColumnWidth(1, column));
        EXPECT_NEAR(*dump->ColumnWidth(1, column), 40, 1);
    }

    // Sheet 2: row 5 stays empty while the current-output group is hidden.
    EXPECT_EQ(dump->Text(2, "A2"), "Время");
    EXPECT_EQ(dump->Text(2, "B2"), "14:05:09");
    EXPECT_EQ(dump->Text(2, "B3"), "08.12.2026");
    EXPECT_EQ(dump->Text(2, "A4"), "Сетевой адрес");
    EXPECT_EQ(dump->Type(2, "B4"), "n");
    EXPECT_DOUBLE_EQ(dump->Number(2, "B4"), 17);
    EXPECT_EQ(dump->Type(2, "A5"), "e");
    EXPECT_EQ(dump->Type(2, "B5"), "e");

    // Sheet 3: the invalid record's row and the last row are empty.
    const char* header[5] = {"Дата", "V+", "V-", "Tраб", "Статус"};
    const char* headerCells[5] = {"A1", "B1", "C1", "D1", "E1"};
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(dump->Text(3, headerCells[c]), QString::fromUtf8(header[c]));
        EXPECT_TRUE(dump->Cell(3, headerCells[c]).value("b").toBool());
    }
    EXPECT_EQ(dump->Text(3, "A2"), "08/12/26  15 ч");
    EXPECT_EQ(dump->Type(3, "B2"), "n");
    EXPECT_DOUBLE_EQ(dump->Number(3, "B2"), 12.5);
    EXPECT_DOUBLE_EQ(dump->Number(3, "C2"), 0.25);
    EXPECT_EQ(dump->Text(3, "D2"), "01:01");
    EXPECT_EQ(dump->Text(3, "E2"), "1-3-");
    for (const char* cell : {"A3", "B3", "C3", "D3", "E3", "A5", "B5", "E5"}) {
        EXPECT_EQ(dump->Type(3, cell), "e") << cell;
    }
    EXPECT_EQ(dump->Text(3, "A4"), "08/12/26  16 ч");
    EXPECT_EQ(dump->Text(3, "D4"), "02:01");
    EXPECT_EQ(dump->Cell(3, "E5").value("f").toString(), "@");
    EXPECT_EQ(dump->Cell(3, "D4").value("h").toString(), "center");
    EXPECT_EQ(dump->MaxRow(3), 5);
    const double widths[5] = {20, 10, 10, 10, 60};  // the page's pixels div 5
    for (int c = 0; c < 5; ++c) {
        ASSERT_TRUE(dump->ColumnWidth(3, c + 1));
        EXPECT_NEAR(*dump->ColumnWidth(3, c + 1), widths[c], 1) << "column " << c + 1;
    }

    // Sheet 4: a volume that is not a number is an empty cell.
    EXPECT_EQ(dump->Text(4, "A2"), "08/12/26");
    EXPECT_EQ(dump->Type(4, "B2"), "e");
    EXPECT_DOUBLE_EQ(dump->Number(4, "C2"), 1);

    // Sheet 6: every journal record has its row, the skipped page too.
    EXPECT_EQ(dump->Text(6, "D1"), "Новое значение");
    EXPECT_EQ(dump->Text(6, "A2"), "08/12/26 14:05:09");
    EXPECT_EQ(dump->Text(6, "B2"), "Режим РАБОТА");
    EXPECT_EQ(dump->Text(6, "C2"), "Да");
    EXPECT_EQ(dump->Text(6, "D2"), "Нет");
    EXPECT_EQ(dump->Text(6, "A3"), "Пропущ.страница");
    for (const char* cell : {"B3", "C3", "D3"}) {
        EXPECT_EQ(dump->Text(6, cell), "xxxx") << cell;
    }
    EXPECT_EQ(dump->Type(6, "A4"), "e");
    EXPECT_EQ(dump->MaxRow(6), 4);
    const double journalWidths[4] = {20, 40, 20, 20};
    for (int c = 0; c < 4; ++c) {
        ASSERT_TRUE(dump->ColumnWidth(6, c + 1)) << "column " << c + 1;
        EXPECT_NEAR(*dump->ColumnWidth(6, c + 1), journalWidths[c], 1) << "column " << c + 1;
    }
}

TEST_F(Export, EmptyDocumentHasHeadersAndOneEmptyRowPerList) {
    const ZQValve valve;
    const std::optional<XlsxDump> dump = ExportAndRead(PageStateFromValve(valve, true), valve);
    if (!dump) {
        GTEST_SKIP() << why;
    }
    ASSERT_EQ(dump->SheetCount(), 6);
    EXPECT_EQ(dump->Type(1, "B2"), "n");
    EXPECT_DOUBLE_EQ(dump->Number(1, "B2"), 0);
    EXPECT_EQ(dump->Text(2, "A5"), "Код 20 мА") << "the group is visible";
    EXPECT_DOUBLE_EQ(dump->Number(2, "B4"), 1) << "the page's lowest address";
    for (int sheet = 3; sheet <= 6; ++sheet) {
        EXPECT_EQ(dump->MaxRow(sheet), 2) << sheet;
        EXPECT_EQ(dump->Type(sheet, "A1"), "s") << sheet;
        EXPECT_EQ(dump->Type(sheet, "A2"), "e") << sheet;
        EXPECT_EQ(dump->Cell(sheet, "D2").value("f").toString(), "@") << sheet;
    }
    for (int sheet = 3; sheet <= 5; ++sheet) {
        for (int column = 1; column <= 5; ++column) {
            EXPECT_TRUE(dump->ColumnWidth(sheet, column)) << sheet << " " << column;
        }
    }
}

TEST_F(Export, AnErrorEndsTheExportWithTheSheetsFilledSoFar) {
    int selects = 0;
    ExcelTestHooks::SetCallHook([&](std::string_view call) {
        if (call == "Worksheets.Item" && ++selects == 5) {  // AddWorkbook's, then sheets 1..4
            throw std::runtime_error("automation failure");
        }
    });
    ZQValve valve;
    valve.HourArchive = {ArchiveRecord(26, 12, 8, 14, 12.5f, 0.25f, 61, 0x05)};
    valve.DayArchive = valve.HourArchive;
    TExcelExport excel;
    std::string failure;
    EXPECT_FALSE(FillExportWorkbook(excel, PageStateFromValve(valve, false), valve, {}, &failure));
    EXPECT_EQ(failure, "Ошибка выбора страницы");
    const ExcelWorkbook* book = excel.Workbook();
    ASSERT_NE(book, nullptr);
    ASSERT_EQ(book->sheets.size(), 6u);
    EXPECT_EQ(book->sheets[5].Name(), "Журнал  ");
    EXPECT_EQ(book->sheets[2].Value(2, 1), ExcelValue("08/12/26  15 ч"));
    EXPECT_EQ(book->sheets[3].RowCount(), 0) << "sheet 4 was never filled";
}

TEST(ExportTextToNumber, ReadsTheLeadingNumberAfterCommasBecomePoints) {
    struct Case {
        const char* text;
        double number;
    };
    for (const Case& c : {Case{"1,5", 1.5}, Case{"", 0}, Case{"abc", 0}, Case{"12.5 m3", 12.5},
                          Case{" -0,25", -0.25}, Case{"1,5,6", 1.5}, Case{"000000123,750", 123.75},
                          Case{"1e3x", 1000}, Case{"+", 0}}) {
        EXPECT_DOUBLE_EQ(ExportTextToNumber(c.text), c.number) << c.text;
    }
    EXPECT_TRUE(std::isnan(ExportTextToNumber("nan")));
    EXPECT_TRUE(std::isinf(ExportTextToNumber("1e999")));
}

TEST(EstimateArchiveColumnWidths, FitTheHeaderAndTheTextsThePageShows) {
    const std::vector<int32_t> empty = EstimateArchiveColumnWidths({}, akHour);
    ASSERT_EQ(empty.size(), 5u);
    // Unusable records get no row on the page, so they do not widen it.
    EXPECT_EQ(EstimateArchiveColumnWidths({ArchiveRecord(26, 13, 1, 0, 1e30f, 0, 0, 0)}, akHour),
              empty);
    const std::vector<ArchiveStruct> list = {ArchiveRecord(26, 12, 8, 14, 1e12f, 0.25f, 61, 0x05)};
    const std::vector<int32_t> hour = EstimateArchiveColumnWidths(list, akHour);
    const std::vector<int32_t> month = EstimateArchiveColumnWidths(list, akMonth);
    EXPECT_GT(hour[0], month[0]) << "\"08/12/26  15 ч\" is longer than \"12/26\"";
    EXPECT_GT(hour[1], hour[2]) << "a V+ of 1e12 is wider than 00000000.250";
    EXPECT_GT(hour[2], empty[2]) << "the texts are wider than the header";
    EXPECT_EQ(hour[4], empty[4]) << "\"1-3-\" is narrower than the header \"Статус\"";
}

}  // namespace

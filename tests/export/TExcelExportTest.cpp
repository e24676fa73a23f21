// The workbook server: selection rules, guards and their messages, the
// started flag, showing a workbook as a file, and the soundness of the file.
#include "CaseNames.h"
#include "Exception.h"
#include "ServerFixture.h"
#include "XlsxDump.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <functional>
#include <limits>

namespace {

ZQ_PRINT_CASES_BY_NAME

using Server = ServerFixture;

std::string MessageOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const Exception& e) {
        return e.what();
    }
    return "(no error)";
}

// A 3 x 2 array holding each value type once.
ExcelVariant ThreeByTwo() {
    ExcelVariant array = ExcelVariant::Array(1, 3, 1, 2);
    array.At(1, 1) = "текст";
    array.At(1, 2) = int32_t{7};
    array.At(2, 1) = 2.5;
    array.At(2, 2) = 0.25f;
    array.At(3, 1) = true;
    return array;
}

struct MoveCase {
    const char* name;
    int row, column;  // where the array is written
    ValueMove move;
    int selectionRow, selectionColumn, selectionRows, selectionColumns;
};

class ArrayMove : public ServerFixture, public testing::WithParamInterface<MoveCase> {};

TEST_P(ArrayMove, WritesTheBlockAndMovesTheSelection) {
    const MoveCase& c = GetParam();
    TExcelExport excel;
    ASSERT_TRUE(excel.AddWorkbook(1));
    ASSERT_TRUE(excel.SelectCell(c.row, c.column));
    excel.SetValue(ThreeByTwo(), c.move);
    EXPECT_EQ(excel.SelectionRow(), c.selectionRow);
    EXPECT_EQ(excel.SelectionColumn(), c.selectionColumn);
    EXPECT_EQ(excel.SelectionRows(), c.selectionRows);
    EXPECT_EQ(excel.SelectionColumns(), c.selectionColumns);

    const ExcelSheet& sheet = excel.Workbook()->sheets[0];
    const int r = c.row;
    const int col = c.column;
    EXPECT_EQ(sheet.Value(r, col), ExcelValue("текст"));
    EXPECT_EQ(sheet.Value(r, col + 1).Type(), ExcelValueType::Int32);
    EXPECT_EQ(sheet.Value(r + 1, col).Type(), ExcelValueType::Double);
    EXPECT_EQ(sheet.Value(r + 1, col + 1).Type(), ExcelValueType::Single);
    EXPECT_EQ(sheet.Value(r + 2, col), ExcelValue(true));
    EXPECT_TRUE(sheet.Value(r + 2, col + 1).IsEmpty());
    EXPECT_TRUE(sheet.Value(r + 3, col).IsEmpty());
    EXPECT_TRUE(sheet.Value(r, col + 2).IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    ThreeByTwoFromA2, ArrayMove,
    testing::Values(MoveCase{"StayKeepsA2toB4", 2, 1, vmStay, 2, 1, 3, 2},
                    MoveCase{"RightGoesToC2", 2, 1, vmRight, 2, 3, 1, 1},
                    MoveCase{"NextRowGoesToA5", 2, 1, vmNextRow, 5, 1, 1, 1},
                    MoveCase{"DownFromB2GoesToB5", 2, 2, vmDown, 5, 2, 1, 1},
                    MoveCase{"NextRowFromB2GoesToA5", 2, 2, vmNextRow, 5, 1, 1, 1}),
    [](const testing::TestParamInfo<MoveCase>& info) { return info.param.name; });

TEST_F(Server, SelectionRules) {
    TExcelExport excel;
    EXPECT_FALSE(excel.SetSheetName(1, "x")) << "no workbook yet";
    EXPECT_FALSE(excel.SelectCell(1, 1));
    EXPECT_EQ(excel.SelectionRow(), 0);
    EXPECT_FALSE(excel.SetNumberFormat("@"));
    excel.SetValue("nothing selected", vmStay);  // does nothing

    ASSERT_TRUE(excel.AddWorkbook(6));
    EXPECT_EQ(excel.SheetCount(), 6);
    EXPECT_EQ(excel.SelectionRow(), 1);
    EXPECT_EQ(excel.SelectionColumn(), 1);

    // ResizeSelection(0, 0) and negative sizes keep the current cell.
    ASSERT_TRUE(excel.SelectCell(3, 4));
    ASSERT_TRUE(excel.ResizeSelection(0, 0));
    EXPECT_EQ(excel.SelectionRows(), 1);
    EXPECT_EQ(excel.SelectionColumns(), 1);
    ASSERT_TRUE(excel.ResizeSelection(-5, 2));
    EXPECT_EQ(excel.SelectionRow(), 3);
    EXPECT_EQ(excel.SelectionRows(), 1);
    EXPECT_EQ(excel.SelectionColumns(), 2);

    // Sheet 7 of 6 (and 0) is refused; the previous sheet stays selected.
    ASSERT_TRUE(excel.SelectSheet(2));
    ASSERT_TRUE(excel.SelectCell(4, 4));
    EXPECT_FALSE(excel.SelectSheet(7));
    EXPECT_FALSE(excel.SelectSheet(0));
    EXPECT_FALSE(excel.SetSheetName(7, "x"));
    excel.SetValue(int32_t{1}, vmStay);
    EXPECT_EQ(excel.Workbook()->sheets[1].Value(4, 4), ExcelValue(int32_t{1}));
    EXPECT_TRUE(excel.Workbook()->sheets[0].Value(4, 4).IsEmpty());

    // A single value fills the whole selection, as Excel does.
    ASSERT_TRUE(excel.SelectRange(1, 1, 2, 2));
    excel.SetValue("x", vmStay);
    EXPECT_EQ(excel.Workbook()->sheets[1].Value(2, 2), ExcelValue("x"));

    // An array of three dimensions writes nothing.
    ASSERT_TRUE(excel.SelectCell(10, 1));
    excel.SetValue(ExcelVariant::Array({{1, 1}, {1, 1}, {1, 1}}), vmNextRow);
    EXPECT_EQ(excel.SelectionRow(), 10);
}

TEST_F(Server, AddWorkbookOfNoSheetsStartsNothing) {
    ExcelTestHooks::ForgetStart();
    int starts = 0;
    ExcelTestHooks::SetCallHook(
        [&](std::string_view call) { starts += call == "CreateOleObject"; });
    TExcelExport excel;
    EXPECT_FALSE(excel.AddWorkbook(0));
    EXPECT_FALSE(excel.AddWorkbook(-1));
    EXPECT_EQ(starts, 0);
    EXPECT_FALSE(TExcelExport::Started());
    EXPECT_TRUE(excel.AddWorkbook(1));
    EXPECT_EQ(starts, 1);
    EXPECT_TRUE(TExcelExport::Started());
    TExcelExport second;
    EXPECT_TRUE(second.AddWorkbook(1));
    EXPECT_EQ(starts, 1) << "the server starts once per run";
}

TEST_F(Server, StartFailures) {
    ExcelTestHooks::ForgetStart();
    TExcelExport excel;
    // The server comes up empty: no error from StartServer, but the next
    // operation that needs it cannot go on.
    ExcelTestHooks::SetServerComesUpEmpty(true);
    excel.StartServer();
    EXPECT_FALSE(TExcelExport::Started());
    EXPECT_EQ(MessageOf([&] { excel.AddWorkbook(6); }), "Невозможно открыть Excell");
    EXPECT_EQ(MessageOf([&] { excel.SetVisible(false); }), "Невозможно открыть Excell");
    ExcelTestHooks::SetServerComesUpEmpty(false);
    // The server cannot be created: StartServer's message passes unchanged.
    ExcelTestHooks::SetCallHook([](std::string_view call) {
        if (call == "CreateOleObject") {
            throw std::runtime_error("class not registered");
        }
    });
    EXPECT_EQ(MessageOf([&] { excel.SetVisible(false); }), "Ошибка запуска сервера Excel");
    EXPECT_FALSE(TExcelExport::Started());
    ExcelTestHooks::SetCallHook({});
    excel.SetVisible(false);
    EXPECT_TRUE(TExcelExport::Started());
}

struct GuardCase {
    const char* name;
    const char* failingCall;  // nullptr: the operation fails on its own
    std::function<void(TExcelExport&)> operation;
    const char* message;
};

class Guard : public ServerFixture, public testing::WithParamInterface<GuardCase> {};

TEST_P(Guard, RaisesTheOutermostMessage) {
    const GuardCase& c = GetParam();
    TExcelExport excel;
    ASSERT_TRUE(excel.AddWorkbook(2));
    if (c.failingCall) {
        ExcelTestHooks::SetCallHook([&](std::string_view call) {
            if (call == c.failingCall) {
                throw std::runtime_error("automation failure");
            }
        });
    }
    EXPECT_EQ(MessageOf([&] { c.operation(excel); }), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, Guard,
    testing::Values(
        GuardCase{"SelectSheetInsideAddWorkbook", "Worksheets.Item",
                  [](TExcelExport& e) { e.AddWorkbook(3); }, "Ошибка добавления документа"},
        GuardCase{"SelectionRowInsideResize", "Row",
                  [](TExcelExport& e) { e.ResizeSelection(2, 2); },
                  "Ошибка выбора диапазона ячеек"},
        GuardCase{"SelectionRowAlone", "Row", [](TExcelExport& e) { e.SelectionRow(); },
                  "Ошибка свойства Строка"},
        GuardCase{"SelectionColumnAlone", "Column", [](TExcelExport& e) { e.SelectionColumn(); },
                  "Ошибка свойства Столбец"},
        GuardCase{"ResizeInsideSetValue", "Range",
                  [](TExcelExport& e) { e.SetValue(ThreeByTwo(), vmStay); },
                  "Ошибка установки значения ячейки"},
        GuardCase{"SelectCellInsideSelectSheet", "Cells.Item",
                  [](TExcelExport& e) { e.SelectSheet(2); }, "Ошибка выбора страницы"},
        GuardCase{"Visible", "Visible", [](TExcelExport& e) { e.SetVisible(false); },
                  "Ошибка свойства Visible"},
        GuardCase{"VerticalAfterHorizontal", "VerticalAlignment",
                  [](TExcelExport& e) { e.SetAlignment(3, 4); },
                  "Ошибка установки выравнивания текста в ячейках"},
        GuardCase{"Underline", "Font.Underline",
                  [](TExcelExport& e) { e.SetFontStyle(true, false, -4142); },
                  "Ошибка установки аттрибутов шрифта ячеек"},
        GuardCase{"CellOutsideTheSheet", nullptr, [](TExcelExport& e) { e.SelectCell(0, 1); },
                  "Ошибка выбора ячейки"},
        GuardCase{"RangeBeyondTheLastRow", nullptr,
                  [](TExcelExport& e) { e.SelectRange(1048576, 1, 2, 1); },
                  "Ошибка выбора диапазона ячеек"},
        GuardCase{"MoveBeyondTheLastColumn", nullptr,
                  [](TExcelExport& e) {
                      e.SelectCell(1, 16384);
                      e.SetValue(int32_t{1}, vmRight);
                  },
                  "Ошибка установки значения ячейки"},
        GuardCase{"UnknownAlignment", nullptr, [](TExcelExport& e) { e.SetAlignment(9, 4); },
                  "Ошибка установки выравнивания текста в ячейках"},
        GuardCase{"NegativeWidth", nullptr, [](TExcelExport& e) { e.SetColumnWidth(-1); },
                  "Ошибка установки ширины столбцов"},
        GuardCase{"SheetNameTaken", nullptr,
                  [](TExcelExport& e) {
                      e.SetSheetName(1, "Журнал");
                      e.SetSheetName(2, "ЖУРНАЛ");
                  },
                  "Ошибка установки имени страницы"},
        GuardCase{"SheetNameWithSlash", nullptr, [](TExcelExport& e) { e.SetSheetName(1, "a/b"); },
                  "Ошибка установки имени страницы"},
        GuardCase{"TextTooLong", nullptr,
                  [](TExcelExport& e) { e.SetValue(std::string(32768, 'x'), vmStay); },
                  "Ошибка установки значения ячейки"}),
    [](const testing::TestParamInfo<GuardCase>& info) { return info.param.name; });

QStringList FilesIn(const std::string& folder) {
    return QDir(QString::fromStdString(folder))
        .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

TEST_F(Server, ShowingWritesANewFileInTheExportFolderAndOpensIt) {
    const std::string exportFolder = Path("Documents/ZQ");  // created when missing
    TExcelExport::SetExportFolder(exportFolder);
    {
        TExcelExport excel;
        excel.SetFileSerial("000000042");
        excel.SetVisible(false);
        ASSERT_TRUE(excel.AddWorkbook(1));
        excel.SetValue("A1", vmStay);
        excel.SetVisible(true);
        const std::string expected = exportFolder + "/0000_ZQ_000000042_261208_140509.xlsx";
        EXPECT_EQ(excel.LastShown().path, expected);
        EXPECT_TRUE(excel.LastShown().opened);
        ASSERT_EQ(opened, std::vector<std::string>{expected});
        excel.SetVisible(true);  // already shown: not written again
        EXPECT_EQ(opened.size(), 1u);
    }
    // The same second: the name gets a counter; a failed opener is told.
    openerWorks = false;
    TExcelExport again;
    again.SetFileSerial("000000042");
    ASSERT_TRUE(again.AddWorkbook(1));
    again.SetVisible(true);
    EXPECT_EQ(again.LastShown().path, exportFolder + "/0000_ZQ_000000042_261208_140509_2.xlsx");
    EXPECT_FALSE(again.LastShown().opened);
    EXPECT_EQ(FilesIn(exportFolder), (QStringList{"0000_ZQ_000000042_261208_140509.xlsx",
                                                  "0000_ZQ_000000042_261208_140509_2.xlsx"}))
        << "no temporary file is left behind";

    // A folder that cannot be made: the file is not written, nothing opens.
    TExcelExport::SetExportFolder("/proc/zq-export");
    TExcelExport failing;
    ASSERT_TRUE(failing.AddWorkbook(1));
    EXPECT_EQ(MessageOf([&] { failing.SetVisible(true); }), "Ошибка свойства Visible");
    EXPECT_FALSE(failing.LastShown().error.empty());
    EXPECT_EQ(opened.size(), 2u);
}

TEST_F(Server, WriteWorkbookNeverLeavesACutFile) {
    const std::string out = Path("out.xlsx");
    {
        QFile old(QString::fromStdString(out));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the previous file");
    }
    TExcelExport excel;
    EXPECT_FALSE(excel.WriteWorkbook(out)) << "no workbook yet";
    ASSERT_TRUE(excel.AddWorkbook(1));
    ExcelVariant block = ExcelVariant::Array(1, 2000, 1, 5);
    for (int r = 1; r <= 2000; ++r) {
        for (int c = 1; c <= 5; ++c) {
            block.At(r, c) = "строка " + std::to_string(r * 7919 + c);
        }
    }
    excel.SetValue(std::move(block), vmStay);

    // Files may grow to 4 KiB only: the write fails half-way.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    try {
        excel.WriteWorkbook(out);
    } catch (const EOSError& e) {
        error = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);
    EXPECT_EQ(error.rfind(out + ": ", 0), 0u) << error;
    QFile old(QString::fromStdString(out));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "the previous file");
    old.close();
    EXPECT_EQ(FilesIn(folder.path().toStdString()), QStringList{"out.xlsx"});

    // Without the limit the new workbook replaces the old file.
    ASSERT_TRUE(excel.WriteWorkbook(out));
    EXPECT_GT(QFile(QString::fromStdString(out)).size(), 4096);
    EXPECT_EQ(FilesIn(folder.path().toStdString()), QStringList{"out.xlsx"});
    EXPECT_TRUE(opened.empty());

    EXPECT_THROW(excel.WriteWorkbook(Path("missing/out.xlsx")), EOSError);
}

// What Excel and LibreOffice would refuse or repair: NaN and infinities,
// overlapping column ranges, widths over 255, formats set block by block.
TEST_F(Server, WrittenFileIsSound) {
    TExcelExport excel;
    ASSERT_TRUE(excel.AddWorkbook(1));
    ASSERT_TRUE(excel.SelectRange(1, 1, 1, 4));
    excel.SetFontStyle(true, false, -4142);
    excel.SetAlignment(3, 4);
    excel.SetColumnWidth(20);  // A:D
    excel.SelectCell(1, 2);
    excel.SetColumnWidth(40);  // B inside A:D
    excel.SelectCell(1, 6);
    excel.SetColumnWidth(300);  // F, over Excel's limit
    excel.SelectRange(1, 1, 3, 4);
    excel.SetNumberFormat("@");
    excel.SelectCell(1, 1);
    ExcelVariant block = ExcelVariant::Array(1, 3, 1, 4);
    block.At(1, 1) = "Заголовок";
    block.At(2, 1) = std::numeric_limits<double>::quiet_NaN();
    block.At(2, 2) = std::numeric_limits<float>::infinity();
    block.At(2, 3) = 1.5f;
    block.At(2, 4) = false;
    block.At(3, 1) = std::string("bad \xff byte");
    block.At(3, 2) = "две\nстроки";
    excel.SetValue(std::move(block), vmStay);
    excel.SelectRange(2, 1, 2, 2);
    excel.SetAlignment(2, 4);
    const std::string path = Path("sound.xlsx");
    ASSERT_TRUE(excel.WriteWorkbook(path));

    std::string why;
    const std::optional<XlsxDump> dump = DumpXlsx(path, why);
    if (!dump) {
        GTEST_SKIP() << why;
    }
    ASSERT_EQ(dump->SheetCount(), 1);
    EXPECT_EQ(dump->Name(1), "Лист1");
    // Each column once: A, C, D 20; B 40; F 255 (libxlsxwriter stores the
    // width with Excel's padding of under one character).
    for (const auto& [column, width] :
         std::vector<std::pair<int, double>>{{1, 20}, {2, 40}, {3, 20}, {4, 20}, {6, 255}}) {
        const std::optional<double> written = dump->ColumnWidth(1, column);
        ASSERT_TRUE(written) << "column " << column;
        EXPECT_GE(*written, width) << "column " << column;
        EXPECT_LT(*written, width + 1) << "column " << column;
    }
    // The header cell: bold, centred, vertically justified and text-formatted.
    const QJsonObject a1 = dump->Cell(1, "A1");
    EXPECT_TRUE(a1.value("b").toBool());
    EXPECT_EQ(a1.value("h").toString(), "center");
    EXPECT_EQ(a1.value("va").toString(), "justify");
    EXPECT_EQ(a1.value("f").toString(), "@");
    // Not-a-number and infinity are empty cells that keep their format.
    EXPECT_EQ(dump->Type(1, "A2"), "e");
    EXPECT_EQ(dump->Type(1, "B2"), "e");
    EXPECT_EQ(dump->Cell(1, "A2").value("h").toString(), "left");
    EXPECT_EQ(dump->Type(1, "C2"), "n");
    EXPECT_DOUBLE_EQ(dump->Number(1, "C2"), 1.5);
    EXPECT_EQ(dump->Type(1, "D2"), "b");
    EXPECT_EQ(dump->Text(1, "A3"), "bad \uFFFD byte");
    EXPECT_EQ(dump->Text(1, "B3"), "две\nстроки");
    EXPECT_EQ(dump->Cell(1, "C1").value("f").toString(), "@") << "formatted empty cell";
    EXPECT_FALSE(dump->Cell(1, "C2").value("b").toBool());
}

TEST_F(Server, OpensInLibreOffice) {
    const QString office = QStandardPaths::findExecutable("soffice").isEmpty()
                               ? QStandardPaths::findExecutable("libreoffice")
                               : QStandardPaths::findExecutable("soffice");
    if (office.isEmpty()) {
        GTEST_SKIP() << "LibreOffice is not installed";
    }
    TExcelExport excel;
    ASSERT_TRUE(excel.AddWorkbook(1));
    ASSERT_TRUE(excel.SelectRange(1, 1, 1, 4));
    excel.SetColumnWidth(20);
    excel.SelectCell(1, 2);
    excel.SetColumnWidth(40);
    excel.SetValue(std::numeric_limits<double>::quiet_NaN(), vmRight);
    excel.SetValue("text", vmStay);
    const std::string path = Path("office.xlsx");
    ASSERT_TRUE(excel.WriteWorkbook(path));
    QProcess convert;
    convert.start(office, {"--headless", "--convert-to", "csv", "--outdir", folder.path(),
                           QString::fromStdString(path)});
    ASSERT_TRUE(convert.waitForFinished(120000));
    QFile csv(folder.filePath("office.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QByteArray content = csv.readAll();
    // A1 empty, B1 the NaN written as an empty cell, C1 the text.
    EXPECT_TRUE(content.startsWith(",,text")) << content.toStdString();
}

}  // namespace

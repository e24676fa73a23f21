#include "TExcelExport.h"

#include "ArchiveFile.h"
#include "ExcelTestHooks.h"
#include "Exception.h"
#include "WorkbookFile.h"

#include <QDateTime>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace {

// The process-wide side of the server: what Excel's Application object
// and the automation runtime hold, plus this platform's settings.
struct ExcelServer {
    bool application = false;  // the application reference
    bool started = false;      // never cleared once set
    bool visible = false;
    int sheetsInNewWorkbook = 1;

    std::string folder;
    std::function<bool(const std::string&)> opener;
    std::function<TDateTime()> clock;

    std::function<void(std::string_view)> callHook;
    bool comesUpEmpty = false;
};

ExcelServer& Server() {
    static ExcelServer server;
    return server;
}

// One step Excel would carry out; the tests' hook may make it fail.
void Automation(std::string_view call) {
    if (Server().callHook) {
        Server().callHook(call);
    }
}

// The guard of an operation: whatever fails inside, the operation's own
// message goes out.
template <class Body>
auto Guarded(const char* message, Body&& body) -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        throw Exception(message);
    }
}

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

constexpr const char kStartMessage[] = "Ошибка запуска сервера Excel";
constexpr const char kNotStartedMessage[] = "Невозможно открыть Excell";
constexpr const char kVisibleMessage[] = "Ошибка свойства Visible";
constexpr const char kAddWorkbookMessage[] = "Ошибка добавления документа";
constexpr const char kSheetNameMessage[] = "Ошибка установки имени страницы";
constexpr const char kSelectSheetMessage[] = "Ошибка выбора страницы";
constexpr const char kSelectCellMessage[] = "Ошибка выбора ячейки";
constexpr const char kResizeMessage[] = "Ошибка выбора диапазона ячеек";
constexpr const char kRowMessage[] = "Ошибка свойства Строка";
constexpr const char kColumnMessage[] = "Ошибка свойства Столбец";
constexpr const char kValueMessage[] = "Ошибка установки значения ячейки";
constexpr const char kNumberFormatMessage[] = "Ошибка установки формата ячеек";
constexpr const char kColumnWidthMessage[] = "Ошибка установки ширины столбцов";
constexpr const char kAlignmentMessage[] = "Ошибка установки выравнивания текста в ячейках";
constexpr const char kFontMessage[] = "Ошибка установки аттрибутов шрифта ячеек";

// Excel refuses to fill more cells than this with one value in one call
// (it runs out of resources long before); so does this server.
constexpr int64_t kMaxFilledCells = int64_t{1} << 24;

HorizontalAlign HorizontalFromExcel(int32_t value) {
    switch (value) {
        case 1:
            return HorizontalAlign::General;
        case 2:
        case -4131:
            return HorizontalAlign::Left;
        case 3:
        case -4108:
            return HorizontalAlign::Center;
        case 4:
        case -4152:
            return HorizontalAlign::Right;
        case 5:
            return HorizontalAlign::Fill;
        case 6:
        case -4130:
            return HorizontalAlign::Justify;
        case 7:
            return HorizontalAlign::CenterAcross;
        case -4117:
            return HorizontalAlign::Distributed;
        default:
            throw Failure("horizontal alignment");
    }
}

VerticalAlign VerticalFromExcel(int32_t value) {
    switch (value) {
        case 1:
        case -4160:
            return VerticalAlign::Top;
        case 2:
        case -4108:
            return VerticalAlign::Center;
        case 3:
        case -4107:
            return VerticalAlign::Bottom;
        case 4:
        case -4130:
            return VerticalAlign::Justify;
        case 5:
        case -4117:
            return VerticalAlign::Distributed;
        default:
            throw Failure("vertical alignment");
    }
}

UnderlineStyle UnderlineFromExcel(int32_t value) {
    switch (value) {
        case -4142:
            return UnderlineStyle::None;
        case 2:
            return UnderlineStyle::Single;
        case -4119:
            return UnderlineStyle::Double;
        case 4:
            return UnderlineStyle::SingleAccounting;
        case 5:
            return UnderlineStyle::DoubleAccounting;
        default:
            throw Failure("underline style");
    }
}

size_t Utf8Length(const std::string& text) {
    size_t length = 0;
    for (const char c : text) {
        length += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }
    return length;
}

// Excel's rules for a sheet name.
void CheckSheetName(const ExcelWorkbook& book, int index, const std::string& name) {
    if (name.empty() || Utf8Length(name) > 31 || name.front() == '\'' || name.back() == '\'') {
        throw Failure("sheet name");
    }
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("[]:*?/\\", c)) {
            throw Failure("sheet name");
        }
    }
    const QString wanted = QString::fromStdString(name);
    if (wanted.toUtf8().toStdString() != name ||
        wanted.compare(QLatin1String("History"), Qt::CaseInsensitive) == 0) {
        throw Failure("sheet name");
    }
    for (size_t i = 0; i < book.sheets.size(); ++i) {
        if (static_cast<int>(i) + 1 != index &&
            QString::fromStdString(book.sheets[i].Name()).compare(wanted, Qt::CaseInsensitive) ==
                0) {
            throw Failure("sheet name");
        }
    }
}

// Excel's text of an empty string is no value at all.
ExcelValue CellValueOf(ExcelValue value) {
    if (value.Type() == ExcelValueType::Text) {
        const std::string& text = value.Text();
        if (text.empty()) {
            return ExcelValue();
        }
        if (text.size() > kMaxTextLength && Utf8Length(text) > kMaxTextLength) {
            throw Failure("text too long");
        }
    }
    return value;
}

TDateTime LocalNow() {
    const QDateTime now = QDateTime::currentDateTime();
    TDateTime date = 0;
    TDateTime time = 0;
    TryEncodeDate(now.date().year(), now.date().month(), now.date().day(), date);
    TryEncodeTime(now.time().hour(), now.time().minute(), now.time().second(), 0, time);
    return date + time;
}

bool OpenWithDesktop(const std::string& path) {
    return QProcess::startDetached(QStringLiteral("xdg-open"),
                                   QStringList{QString::fromStdString(path)});
}

}  // namespace

struct TExcelExport::Book {
    ExcelWorkbook contents;
    bool shown = false;
};

TExcelExport::TExcelExport() = default;
TExcelExport::~TExcelExport() = default;

void TExcelExport::StartServer() {
    Guarded(kStartMessage, [&] {
        Automation("CreateOleObject");
        ExcelServer& server = Server();
        server.application = !server.comesUpEmpty;
        if (!server.application) {
            return;
        }
        server.started = true;
    });
}

void TExcelExport::EnsureStarted() {
    if (Server().started) {
        return;
    }
    StartServer();
    if (!Server().started) {
        throw Exception(kNotStartedMessage);
    }
}

void TExcelExport::SetVisible(bool visible) {
    EnsureStarted();
    Guarded(kVisibleMessage, [&] {
        Automation("Visible");
        Server().visible = visible;
        if (visible) {
            ShowWorkbooks();
        }
    });
}

void TExcelExport::ShowWorkbooks() {
    ExcelServer& server = Server();
    for (const auto& book : workbooks) {
        if (book->shown) {
            continue;
        }
        lastShown = {};
        try {
            const TDateTime now = server.clock ? server.clock() : LocalNow();
            lastShown.path = WriteNewWorkbookFile(book->contents, ExportFolder(),
                                                  ExportFileName(fileSerial, now));
        } catch (const std::exception& e) {
            lastShown.error = e.what();
            throw;
        }
        book->shown = true;
        try {
            lastShown.opened =
                server.opener ? server.opener(lastShown.path) : OpenWithDesktop(lastShown.path);
        } catch (...) {
            lastShown.opened = false;
        }
    }
}

bool TExcelExport::AddWorkbook(int sheetCount) {
    if (sheetCount < 1) {
        return false;
    }
    EnsureStarted();
    Guarded(kAddWorkbookMessage, [&] {
        Automation("SheetsInNewWorkbook");
        if (sheetCount > kMaxSheets) {
            throw Failure("too many sheets");
        }
        Server().sheetsInNewWorkbook = sheetCount;
        Automation("Workbooks.Add");
        auto book = std::make_unique<Book>();
        for (int i = 1; i <= sheetCount; ++i) {
            book->contents.sheets.emplace_back("Лист" + std::to_string(i));
        }
        workbooks.push_back(std::move(book));
        Automation("Item");
        workbook = workbooks.back().get();
        Automation("Worksheets");
        worksheets = workbook;
        SelectSheet(1);
    });
    return true;
}

int TExcelExport::SheetCount() {
    EnsureStarted();
    if (!worksheets) {
        return 0;
    }
    Automation("Count");
    return static_cast<int>(worksheets->contents.sheets.size());
}

bool TExcelExport::SetSheetName(int index, const std::string& name) {
    if (!worksheets || index <= 0 || SheetCount() < index) {
        return false;
    }
    Guarded(kSheetNameMessage, [&] {
        Automation("Name");
        CheckSheetName(worksheets->contents, index, name);
        worksheets->contents.sheets[static_cast<size_t>(index - 1)].SetName(name);
    });
    return true;
}

bool TExcelExport::SelectSheet(int index) {
    if (index < 1 || SheetCount() < index) {
        return false;
    }
    Guarded(kSelectSheetMessage, [&] {
        Automation("Worksheets.Item");
        worksheet = SheetRef{worksheets, index};
        Automation("Cells");
        cells = worksheet;
        SelectCell(1, 1);
    });
    return true;
}

ExcelRange TExcelExport::CellItem(int64_t row, int64_t column) {
    Automation("Cells.Item");
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns) {
        throw Failure("no such cell");
    }
    const int r = static_cast<int>(row);
    const int c = static_cast<int>(column);
    return ExcelRange{r, c, r, c};
}

ExcelSheet& TExcelExport::SelectedSheet() {
    return cells.book->contents.sheets[static_cast<size_t>(cells.index - 1)];
}

bool TExcelExport::SelectCell(int row, int column) {
    if (!cells) {
        return false;
    }
    Guarded(kSelectCellMessage, [&] { selection = CellItem(row, column); });
    return true;
}

bool TExcelExport::SelectRange(int row, int column, int rows, int columns) {
    return SelectCell(row, column) && ResizeSelection(rows, columns);
}

bool TExcelExport::ResizeSelection(int rows, int columns) {
    if (!cells || !selection) {
        return false;
    }
    Guarded(kResizeMessage, [&] {
        const int r = SelectionRow();
        const int c = SelectionColumn();
        const ExcelRange first = CellItem(r, c);
        const ExcelRange last =
            CellItem(int64_t{r} + std::max(rows, 1) - 1, int64_t{c} + std::max(columns, 1) - 1);
        Automation("Range");
        selection = ExcelRange{first.row1, first.column1, last.row1, last.column1};
    });
    return true;
}

int TExcelExport::SelectionRow() {
    if (!selection) {
        return 0;
    }
    return Guarded(kRowMessage, [&] {
        Automation("Row");
        return selection->row1;
    });
}

int TExcelExport::SelectionColumn() {
    if (!selection) {
        return 0;
    }
    return Guarded(kColumnMessage, [&] {
        Automation("Column");
        return selection->column1;
    });
}

void TExcelExport::SetValue(ExcelVariant value, ValueMove move) {
    if (!selection) {
        return;
    }
    Guarded(kValueMessage, [&] {
        const int r = SelectionRow();
        const int c = SelectionColumn();
        int64_t nextRow = int64_t{r} + 1;
        int64_t nextColumn = int64_t{c} + 1;
        if (!value.IsArray()) {
            Automation("Value");
            const ExcelRange block = *selection;
            if (int64_t{block.Rows()} * block.Columns() > kMaxFilledCells) {
                throw Failure("block too large");
            }
            const ExcelValue cell = CellValueOf(value.Scalar());
            ExcelSheet& sheet = SelectedSheet();
            for (int row = block.row1; row <= block.row2; ++row) {
                for (int column = block.column1; column <= block.column2; ++column) {
                    sheet.Cell(row, column) = cell;
                }
            }
        } else if (value.Dimensions() == 2) {
            const int rows = value.Length(1);
            const int columns = value.Length(2);
            if (!ResizeSelection(rows, columns)) {
                return;
            }
            Automation("Value");
            ExcelSheet& sheet = SelectedSheet();
            std::vector<ExcelValue>& elements = value.Elements();
            for (int i = 0; i < rows; ++i) {
                for (int j = 0; j < columns; ++j) {
                    sheet.Cell(r + i, c + j) = CellValueOf(
                        std::move(elements[static_cast<size_t>(i) * static_cast<size_t>(columns) +
                                           static_cast<size_t>(j)]));
                }
            }
            nextRow = int64_t{r} + rows;
            nextColumn = int64_t{c} + columns;
        } else if (value.Dimensions() == 1) {
            const int rows = value.Length(1);
            if (!ResizeSelection(rows, 1)) {
                return;
            }
            Automation("Value");
            ExcelSheet& sheet = SelectedSheet();
            std::vector<ExcelValue>& elements = value.Elements();
            for (int i = 0; i < rows; ++i) {
                sheet.Cell(r + i, c) = CellValueOf(std::move(elements[static_cast<size_t>(i)]));
            }
            nextRow = int64_t{r} + std::max(rows, 1);
        } else {
            return;
        }
        switch (move) {
            case vmRight:
                selection = CellItem(r, nextColumn);
                break;
            case vmDown:
                selection = CellItem(nextRow, c);
                break;
            case vmNextRow:
                selection = CellItem(nextRow, 1);
                break;
            default:
                break;
        }
    });
}

bool TExcelExport::SetNumberFormat(const std::string& format) {
    if (!selection) {
        return false;
    }
    Guarded(kNumberFormatMessage, [&] {
        Automation("NumberFormat");
        // Excel keeps format codes of up to 255 characters.
        if (Utf8Length(format) > 255 || QString::fromStdString(format).toStdString() != format) {
            throw Failure("number format");
        }
        ExcelCellFormat cellFormat;
        cellFormat.numberFormat = format.empty() ? std::string("General") : format;
        SelectedSheet().AddFormat(*selection, std::move(cellFormat));
    });
    return true;
}

bool TExcelExport::SetColumnWidth(double width) {
    if (!selection) {
        return false;
    }
    Guarded(kColumnWidthMessage, [&] {
        Automation("ColumnWidth");
        if (!(width >= 0)) {
            throw Failure("column width");
        }
        SelectedSheet().SetColumnWidth(selection->column1, selection->column2,
                                       std::min(width, kMaxColumnWidth));
    });
    return true;
}

bool TExcelExport::SetAlignment(int32_t horizontal, int32_t vertical) {
    if (!selection) {
        return false;
    }
    Guarded(kAlignmentMessage, [&] {
        ExcelSheet& sheet = SelectedSheet();
        Automation("HorizontalAlignment");
        ExcelCellFormat format;
        format.horizontal = HorizontalFromExcel(horizontal);
        sheet.AddFormat(*selection, format);
        Automation("VerticalAlignment");
        format = {};
        format.vertical = VerticalFromExcel(vertical);
        sheet.AddFormat(*selection, format);
    });
    return true;
}

bool TExcelExport::SetFontStyle(bool bold, bool italic, int32_t underline) {
    if (!selection) {
        return false;
    }
    Guarded(kFontMessage, [&] {
        ExcelSheet& sheet = SelectedSheet();
        ExcelCellFormat format;
        Automation("Font.Bold");
        format.bold = bold;
        sheet.AddFormat(*selection, format);
        Automation("Font.Italic");
        format = {};
        format.italic = italic;
        sheet.AddFormat(*selection, format);
        Automation("Font.Underline");
        format = {};
        format.underline = UnderlineFromExcel(underline);
        sheet.AddFormat(*selection, format);
    });
    return true;
}

bool TExcelExport::WriteWorkbook(const std::string& path) {
    if (!workbook) {
        return false;
    }
    WriteWorkbookFile(workbook->contents, path);
    return true;
}

const ExcelWorkbook* TExcelExport::Workbook() const {
    return workbook ? &workbook->contents : nullptr;
}

void TExcelExport::SetExportFolder(const std::string& folder) {
    Server().folder = folder;
}

std::string TExcelExport::ExportFolder() {
    if (!Server().folder.empty()) {
        return Server().folder;
    }
    return (QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
            QStringLiteral("/ZQ"))
        .toStdString();
}

bool TExcelExport::OpenFile(const std::string& path) {
    return Server().opener ? Server().opener(path) : OpenWithDesktop(path);
}

void TExcelExport::SetOpener(std::function<bool(const std::string& path)> opener) {
    Server().opener = std::move(opener);
}

void TExcelExport::SetClock(std::function<TDateTime()> clock) {
    Server().clock = std::move(clock);
}

bool TExcelExport::Started() {
    return Server().started;
}

std::string TExcelExport::ExportFileName(const std::string& serialText, TDateTime now) {
    std::string serial = serialText;
    std::replace(serial.begin(), serial.end(), '/', '_');
    serial.erase(std::remove(serial.begin(), serial.end(), '\0'), serial.end());
    std::string name = DefaultArchiveFileName(serial, now);
    const std::string archiveExtension = ".arch";
    if (name.size() >= archiveExtension.size() &&
        name.compare(name.size() - archiveExtension.size(), archiveExtension.size(),
                     archiveExtension) == 0) {
        name.resize(name.size() - archiveExtension.size());
    }
    return name + ".xlsx";
}

namespace ExcelTestHooks {

void SetCallHook(std::function<void(std::string_view call)> hook) {
    Server().callHook = std::move(hook);
}

void SetServerComesUpEmpty(bool empty) {
    Server().comesUpEmpty = empty;
}

void ForgetStart() {
    Server().started = false;
    Server().application = false;
}

}  // namespace ExcelTestHooks

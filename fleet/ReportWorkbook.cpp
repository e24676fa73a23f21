#include "ReportWorkbook.h"

#include "Exception.h"
#include "ExportWorkbook.h"
#include "ReportTable.h"
#include "WorkbookFile.h"

#include <QSet>
#include <QString>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int kMaxSheetName = 31;
constexpr double kMaxWidth = 255;  // Excel's widest column, characters
// A column's width in characters for an estimated text width in pixels
// (EstimateTextWidth): a character of the default font is about 7 pixels,
// and the cell's margins want two more.
constexpr double kPixelsPerCharacter = 7;
constexpr double kMargin = 2;

const char* const kSummarySheet = "Сводка";
const char* const kVolumeFormat = "0.000";
const char* const kTimeFormat = "dd.mm.yyyy hh:mm";
const char* const kDateFormat = "dd.mm.yyyy";
// What the cell of a time shows, for the width of its column.
const char* const kTimeSample = "00.00.0000 00:00";

// Rows of each sheet (from 0): the title, the header, then the data.
constexpr lxw_row_t kTitleRow = 0;
constexpr lxw_row_t kHeaderRow = 1;
constexpr lxw_row_t kFirstDataRow = 2;

// libxlsxwriter's own text, and the system's when a file operation under
// it failed (a full disk, the file size limit).
void Check(lxw_error error, const std::string& path) {
    if (error == LXW_NO_ERROR) {
        return;
    }
    std::string reason = lxw_strerror(error);
    if (errno != 0) {
        reason += std::string(" (") + std::strerror(errno) + ")";
    }
    throw EOSError(path + ": " + reason);
}

double Width(const std::string& text) {
    return std::min(kMaxWidth, std::ceil(EstimateTextWidth(text) / kPixelsPerCharacter) + kMargin);
}

// The name of a meter's sheet (see ReportWorkbook.h); `taken` holds the
// names given so far, in lower case.
std::string SheetName(const std::string& meter, QSet<QString>& taken) {
    QString base = QString::fromStdString(meter);
    for (QChar& c : base) {
        if (QStringLiteral("[]:*?/\\").contains(c) || c.category() == QChar::Other_Control) {
            c = QLatin1Char('_');
        }
    }
    while (base.startsWith(QLatin1Char('\'')) || base.endsWith(QLatin1Char('\''))) {
        base = base.startsWith(QLatin1Char('\'')) ? base.mid(1) : base.chopped(1);
    }
    if (base.trimmed().isEmpty()) {
        base = QStringLiteral("Прибор");
    }
    // Cut by characters, never inside one written as two UTF-16 units.
    auto cut = [](const QString& text, int characters) {
        const QList<uint> codes = text.toUcs4();
        return QString::fromUcs4(reinterpret_cast<const char32_t*>(codes.constData()),
                                 std::min<qsizetype>(codes.size(), characters));
    };
    QString name = cut(base, kMaxSheetName);
    for (int n = 2; taken.contains(name.toLower()); ++n) {
        const QString suffix = QStringLiteral(" (%1)").arg(n);
        name = cut(base, kMaxSheetName - static_cast<int>(suffix.size())) + suffix;
    }
    taken.insert(name.toLower());
    return name.toStdString();
}

class Writer {
public:
    Writer(lxw_workbook* book, const std::string& path) : book(book), path(path) {
        bold = workbook_add_format(book);
        format_set_bold(bold);
        header = workbook_add_format(book);
        format_set_bold(header);
        format_set_align(header, LXW_ALIGN_CENTER);
        format_set_align(header, LXW_ALIGN_VERTICAL_CENTER);
        volume = workbook_add_format(book);
        format_set_num_format(volume, kVolumeFormat);
        time = workbook_add_format(book);
        format_set_num_format(time, kTimeFormat);
        date = workbook_add_format(book);
        format_set_num_format(date, kDateFormat);
    }

    void Summary(const ConsumptionReport& report) {
        lxw_worksheet* sheet = AddSheet(kSummarySheet);
        std::string title =
            ReportTitle(report) + " (составлен " + FormatReportTime(report.madeAt) + ")";
        Check(worksheet_write_string(sheet, kTitleRow, 0, title.c_str(), bold), path);
        const std::vector<std::string>& columns = ReportColumns();
        std::vector<double> widths;
        for (size_t c = 0; c < columns.size(); ++c) {
            Check(worksheet_write_string(sheet, kHeaderRow, Column(c), columns[c].c_str(), header),
                  path);
            widths.push_back(Width(columns[c]));
        }
        lxw_row_t row = kFirstDataRow;
        for (const MeterConsumption& m : report.meters) {
            const std::vector<ReportCell> cells = ReportRow(m);
            for (size_t c = 0; c < cells.size(); ++c) {
                widths[c] = std::max(widths[c], WriteCell(sheet, row, Column(c), cells[c]));
            }
            ++row;
        }
        for (size_t c = 0; c < widths.size(); ++c) {
            Check(worksheet_set_column(sheet, Column(c), Column(c), widths[c], nullptr), path);
        }
        worksheet_freeze_panes(sheet, kFirstDataRow, 1);
    }

    void MeterSheet(const MeterConsumption& m, const ConsumptionReport& report) {
        const std::string name = SheetName(m.name, taken);
        lxw_worksheet* sheet = AddSheet(name);
        const std::string title = m.name + ": расход по суткам за " +
                                  report.from.toString("dd.MM.yyyy").toStdString() + " – " +
                                  report.to.toString("dd.MM.yyyy").toStdString();
        Check(worksheet_write_string(sheet, kTitleRow, 0, title.c_str(), bold), path);
        const char* const columns[] = {"Дата", "V+, м³", "V−, м³", "Часов с записью"};
        for (lxw_col_t c = 0; c < 4; ++c) {
            Check(worksheet_write_string(sheet, kHeaderRow, c, columns[c], header), path);
        }
        lxw_row_t row = kFirstDataRow;
        for (const DayConsumption& day : m.days) {
            TDateTime at = 0;
            TryEncodeDate(day.date.year(), day.date.month(), day.date.day(), at);
            Check(worksheet_write_number(sheet, row, 0, at, date), path);
            if (day.vPlus) {
                Check(worksheet_write_number(sheet, row, 1, *day.vPlus, volume), path);
            }
            if (day.vMinus) {
                Check(worksheet_write_number(sheet, row, 2, *day.vMinus, volume), path);
            }
            Check(worksheet_write_number(sheet, row, 3, day.hoursWithRecord, nullptr), path);
            ++row;
        }
        const double widths[] = {Width("00.00.0000"), Width("000000.000"), Width("000000.000"),
                                 Width(columns[3])};
        for (lxw_col_t c = 0; c < 4; ++c) {
            Check(worksheet_set_column(sheet, c, c, widths[c], nullptr), path);
        }
        worksheet_freeze_panes(sheet, kFirstDataRow, 0);
        Chart(sheet, name, row - 1);
    }

private:
    static lxw_col_t Column(size_t c) { return static_cast<lxw_col_t>(c); }

    lxw_worksheet* AddSheet(const std::string& name) {
        lxw_worksheet* sheet = workbook_add_worksheet(book, name.c_str());
        if (!sheet) {
            throw EOSError(path + ": cannot add the sheet \"" + name + "\"");
        }
        return sheet;
    }

    // Writes a cell of the summary; returns the width its text wants.
    double WriteCell(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t column,
                     const ReportCell& cell) {
        char text[48];
        switch (cell.kind) {
            case ReportCell::Kind::Empty:
                return 0;
            case ReportCell::Kind::Text:
                if (!cell.text.empty()) {
                    Check(worksheet_write_string(sheet, row, column, cell.text.c_str(), nullptr),
                          path);
                }
                return Width(cell.text);
            case ReportCell::Kind::Volume:
                Check(worksheet_write_number(sheet, row, column, cell.number, volume), path);
                return Width(FormatReportVolume(cell.number));
            case ReportCell::Kind::Count:
                Check(worksheet_write_number(sheet, row, column, cell.number, nullptr), path);
                std::snprintf(text, sizeof text, "%.0f", cell.number);
                return Width(text);
            case ReportCell::Kind::Time:
                Check(worksheet_write_number(sheet, row, column, cell.number, time), path);
                return Width(kTimeSample);
        }
        return 0;
    }

    // A column chart of the daily V+ (rows kFirstDataRow..lastRow) to the
    // right of the table.
    void Chart(lxw_worksheet* sheet, const std::string& name, lxw_row_t lastRow) {
        lxw_chart* chart = workbook_add_chart(book, LXW_CHART_COLUMN);
        lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
        chart_series_set_categories(series, name.c_str(), kFirstDataRow, 0, lastRow, 0);
        chart_series_set_values(series, name.c_str(), kFirstDataRow, 1, lastRow, 1);
        chart_series_set_name(series, "V+, м³");
        chart_title_set_name(chart, "Расход V+ по суткам");
        chart_axis_set_name(chart->x_axis, "Сутки");
        chart_axis_set_name(chart->y_axis, "V+, м³");
        chart_axis_set_num_format(chart->x_axis, "dd.mm");
        chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
        lxw_chart_options options = {};
        options.x_scale = 1.6;
        options.y_scale = 1.4;
        Check(worksheet_insert_chart_opt(sheet, kHeaderRow, 5, chart, &options), path);
    }

    lxw_workbook* book;
    const std::string& path;
    lxw_format* bold = nullptr;
    lxw_format* header = nullptr;
    lxw_format* volume = nullptr;
    lxw_format* time = nullptr;
    lxw_format* date = nullptr;
    QSet<QString> taken = {QString::fromUtf8(kSummarySheet).toLower(), QStringLiteral("history")};
};

void WriteBook(const ConsumptionReport& report, const std::string& file, const std::string& path) {
    errno = 0;
    lxw_workbook* book = workbook_new(file.c_str());
    if (!book) {
        throw EOSError(path + ": cannot create the workbook");
    }
    try {
        Writer writer(book, path);
        writer.Summary(report);
        for (const MeterConsumption& m : report.meters) {
            writer.MeterSheet(m, report);
        }
    } catch (...) {
        lxw_workbook_free(book);
        throw;
    }
    errno = 0;
    Check(workbook_close(book), path);
}

}  // namespace

void WriteReportWorkbook(const ConsumptionReport& report, const std::string& path) {
    WriteThroughTemporaryFile(
        path, [&](const std::string& temporary) { WriteBook(report, temporary, path); });
}

#include "XlsxWriter.h"

#include "Exception.h"

#include <QString>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& reason) {
    throw EOSError(path + ": " + reason);
}

// libxlsxwriter's own text, and the system's when a file operation under
// it failed (a full disk, the file size limit).
void Check(lxw_error error, const std::string& path) {
    if (error == LXW_NO_ERROR) {
        return;
    }
    const int systemError = errno;
    std::string reason = lxw_strerror(error);
    if (systemError != 0) {
        reason += std::string(" (") + std::strerror(systemError) + ")";
    }
    Fail(path, reason);
}

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF). ASCII runs are skipped quickly; the page texts
// are mostly digits.
bool IsValidUtf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra = 0;
        uint32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra) {
            return false;
        }
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        static constexpr uint32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        p += extra + 1;
    }
    return true;
}

uint8_t HorizontalOf(HorizontalAlign align) {
    switch (align) {
        case HorizontalAlign::General:
            return LXW_ALIGN_NONE;
        case HorizontalAlign::Left:
            return LXW_ALIGN_LEFT;
        case HorizontalAlign::Center:
            return LXW_ALIGN_CENTER;
        case HorizontalAlign::Right:
            return LXW_ALIGN_RIGHT;
        case HorizontalAlign::Fill:
            return LXW_ALIGN_FILL;
        case HorizontalAlign::Justify:
            return LXW_ALIGN_JUSTIFY;
        case HorizontalAlign::CenterAcross:
            return LXW_ALIGN_CENTER_ACROSS;
        case HorizontalAlign::Distributed:
            return LXW_ALIGN_DISTRIBUTED;
    }
    return LXW_ALIGN_NONE;
}

uint8_t VerticalOf(VerticalAlign align) {
    switch (align) {
        case VerticalAlign::Top:
            return LXW_ALIGN_VERTICAL_TOP;
        case VerticalAlign::Center:
            return LXW_ALIGN_VERTICAL_CENTER;
        case VerticalAlign::Bottom:
            return LXW_ALIGN_VERTICAL_BOTTOM;
        case VerticalAlign::Justify:
            return LXW_ALIGN_VERTICAL_JUSTIFY;
        case VerticalAlign::Distributed:
            return LXW_ALIGN_VERTICAL_DISTRIBUTED;
    }
    return LXW_ALIGN_NONE;
}

uint8_t UnderlineOf(UnderlineStyle style) {
    switch (style) {
        case UnderlineStyle::None:
            return LXW_UNDERLINE_NONE;
        case UnderlineStyle::Single:
            return LXW_UNDERLINE_SINGLE;
        case UnderlineStyle::Double:
            return LXW_UNDERLINE_DOUBLE;
        case UnderlineStyle::SingleAccounting:
            return LXW_UNDERLINE_SINGLE_ACCOUNTING;
        case UnderlineStyle::DoubleAccounting:
            return LXW_UNDERLINE_DOUBLE_ACCOUNTING;
    }
    return LXW_UNDERLINE_NONE;
}

// One libxlsxwriter format per distinct merged cell format; the default
// format is nullptr.
class FormatCache {
public:
    explicit FormatCache(lxw_workbook* workbook) : workbook_(workbook) {}

    lxw_format* Get(const ExcelCellFormat& format) {
        if (format.IsDefault()) {
            return nullptr;
        }
        const auto it = formats_.find(format);
        if (it != formats_.end()) {
            return it->second;
        }
        lxw_format* f = workbook_add_format(workbook_);
        if (format.numberFormat && !format.numberFormat->empty() &&
            *format.numberFormat != "General") {
            format_set_num_format(f, format.numberFormat->c_str());
        }
        if (format.horizontal && *format.horizontal != HorizontalAlign::General) {
            format_set_align(f, HorizontalOf(*format.horizontal));
        }
        if (format.vertical) {
            format_set_align(f, VerticalOf(*format.vertical));
        }
        if (format.bold.value_or(false)) {
            format_set_bold(f);
        }
        if (format.italic.value_or(false)) {
            format_set_italic(f);
        }
        if (format.underline && *format.underline != UnderlineStyle::None) {
            format_set_underline(f, UnderlineOf(*format.underline));
        }
        formats_.emplace(format, f);
        return f;
    }

private:
    lxw_workbook* workbook_;
    std::map<ExcelCellFormat, lxw_format*> formats_;
};

// Widths of consecutive columns that are equal go out as one range; no two
// ranges overlap (overlapping <col> elements make Excel repair the file).
void WriteColumns(lxw_worksheet* sheet, const ExcelSheet& source, const std::string& path) {
    const auto& widths = source.ColumnWidths();
    for (auto it = widths.begin(); it != widths.end();) {
        const int first = it->first;
        const double width = std::clamp(it->second, 0.0, kMaxColumnWidth);
        int last = first;
        auto next = std::next(it);
        while (next != widths.end() && next->first == last + 1 &&
               std::clamp(next->second, 0.0, kMaxColumnWidth) == width) {
            last = next->first;
            ++next;
        }
        lxw_row_col_options hidden = {};
        hidden.hidden = 1;
        Check(worksheet_set_column_opt(sheet, static_cast<lxw_col_t>(first - 1),
                                       static_cast<lxw_col_t>(last - 1), width, nullptr,
                                       width == 0 ? &hidden : nullptr),
              path);
        it = next;
    }
}

// The merged format of each column of one row, from the format blocks that
// cover the row. Recomputed only when that set of blocks changes.
class RowFormats {
public:
    RowFormats(const ExcelSheet& sheet, FormatCache& cache) : sheet_(sheet), cache_(cache) {
        const auto& blocks = sheet.Formats();
        for (size_t i = 0; i < blocks.size(); ++i) {
            starts_.push_back(i);
        }
        std::stable_sort(starts_.begin(), starts_.end(), [&](size_t a, size_t b) {
            return blocks[a].range.row1 < blocks[b].range.row1;
        });
    }

    // The last row any block reaches, 0 without blocks.
    int LastRow() const {
        int last = 0;
        for (const auto& block : sheet_.Formats()) {
            last = std::max(last, block.range.row2);
        }
        return last;
    }

    // Moves to `row` (rows ascending); returns the formats of columns
    // 1..size() of that row, nullptr where no block gives one.
    const std::vector<lxw_format*>& At(int row) {
        const auto& blocks = sheet_.Formats();
        bool changed = false;
        while (nextStart_ < starts_.size() && blocks[starts_[nextStart_]].range.row1 <= row) {
            active_.push_back(starts_[nextStart_++]);
            changed = true;
        }
        const auto ended = std::remove_if(active_.begin(), active_.end(),
                                          [&](size_t i) { return blocks[i].range.row2 < row; });
        if (ended != active_.end()) {
            active_.erase(ended, active_.end());
            changed = true;
        }
        if (changed) {
            Rebuild();
        }
        return columns_;
    }

private:
    void Rebuild() {
        const auto& blocks = sheet_.Formats();
        // Blocks are laid over each other in the order they were set.
        std::sort(active_.begin(), active_.end());
        std::vector<int> edges;
        for (size_t i : active_) {
            edges.push_back(blocks[i].range.column1);
            edges.push_back(blocks[i].range.column2 + 1);
        }
        std::sort(edges.begin(), edges.end());
        edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
        columns_.assign(edges.empty() ? 0 : static_cast<size_t>(edges.back() - 1), nullptr);
        for (size_t e = 0; e + 1 < edges.size(); ++e) {
            ExcelCellFormat merged;
            for (size_t i : active_) {
                const ExcelRange& range = blocks[i].range;
                if (range.column1 <= edges[e] && range.column2 >= edges[e]) {
                    merged.Merge(blocks[i].format);
                }
            }
            lxw_format* format = cache_.Get(merged);
            for (int c = edges[e]; c < edges[e + 1]; ++c) {
                columns_[static_cast<size_t>(c - 1)] = format;
            }
        }
    }

    const ExcelSheet& sheet_;
    FormatCache& cache_;
    std::vector<size_t> starts_;  // block indices by first row
    size_t nextStart_ = 0;
    std::vector<size_t> active_;  // blocks covering the current row
    std::vector<lxw_format*> columns_;
};

void WriteCell(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t column, const ExcelValue& value,
               lxw_format* format, const std::string& path) {
    lxw_error error = LXW_NO_ERROR;
    switch (value.Type()) {
        case ExcelValueType::Text: {
            const std::string& text = value.Text();
            if (text.empty()) {
                if (format) {
                    error = worksheet_write_blank(sheet, row, column, format);
                }
            } else if (IsValidUtf8(text)) {
                error = worksheet_write_string(sheet, row, column, text.c_str(), format);
            } else {
                const QByteArray mended =
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUtf8();
                error = worksheet_write_string(sheet, row, column, mended.constData(), format);
            }
            break;
        }
        case ExcelValueType::Int32:
        case ExcelValueType::Double:
        case ExcelValueType::Single: {
            // libxlsxwriter prints NaN and infinities as they come ("NAN",
            // "INF"), which no spreadsheet program reads: such a cell stays empty.
            const double number = value.Number();
            if (std::isfinite(number)) {
                error = worksheet_write_number(sheet, row, column, number, format);
            } else if (format) {
                error = worksheet_write_blank(sheet, row, column, format);
            }
            break;
        }
        case ExcelValueType::Boolean:
            error = worksheet_write_boolean(sheet, row, column, value.Boolean() ? 1 : 0, format);
            break;
        case ExcelValueType::Empty:
            if (format) {
                error = worksheet_write_blank(sheet, row, column, format);
            }
            break;
    }
    Check(error, path);
}

void WriteSheet(lxw_workbook* workbook, const ExcelSheet& source, FormatCache& cache,
                const std::string& path) {
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, source.Name().c_str());
    if (!sheet) {
        Fail(path, "cannot add the sheet \"" + source.Name() + "\"");
    }
    WriteColumns(sheet, source, path);
    RowFormats formats(source, cache);
    const int lastRow = std::max(source.RowCount(), formats.LastRow());
    for (int row = 1; row <= lastRow; ++row) {
        const std::vector<lxw_format*>& rowFormats = formats.At(row);
        const std::vector<ExcelValue>& cells = source.Row(row);
        const size_t columns = std::max(cells.size(), rowFormats.size());
        for (size_t c = 0; c < columns; ++c) {
            static const ExcelValue kEmpty;
            const ExcelValue& value = c < cells.size() ? cells[c] : kEmpty;
            lxw_format* format = c < rowFormats.size() ? rowFormats[c] : nullptr;
            if (value.IsEmpty() && !format) {
                continue;
            }
            WriteCell(sheet, static_cast<lxw_row_t>(row - 1), static_cast<lxw_col_t>(c), value,
                      format, path);
        }
    }
}

}  // namespace

void WriteXlsx(const ExcelWorkbook& book, const std::string& file, const std::string& path) {
    // Constant-memory mode streams each row to a temporary file as soon as
    // the next begins: rows are written in ascending order here, and texts
    // go inline instead of through the shared-string table.
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    errno = 0;
    lxw_workbook* workbook = workbook_new_opt(file.c_str(), &options);
    if (!workbook) {
        Fail(path, "cannot create the workbook");
    }
    try {
        FormatCache cache(workbook);
        for (const ExcelSheet& sheet : book.sheets) {
            WriteSheet(workbook, sheet, cache, path);
        }
    } catch (...) {
        lxw_workbook_free(workbook);
        throw;
    }
    errno = 0;
    Check(workbook_close(workbook), path);
}

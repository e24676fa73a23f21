#include "ExcelWorkbook.h"

void ExcelCellFormat::Merge(const ExcelCellFormat& later) {
    if (later.numberFormat) {
        numberFormat = later.numberFormat;
    }
    if (later.horizontal) {
        horizontal = later.horizontal;
    }
    if (later.vertical) {
        vertical = later.vertical;
    }
    if (later.bold) {
        bold = later.bold;
    }
    if (later.italic) {
        italic = later.italic;
    }
    if (later.underline) {
        underline = later.underline;
    }
}

const std::vector<ExcelValue>& ExcelSheet::Row(int row) const {
    static const std::vector<ExcelValue> kNone;
    if (row < 1 || row > RowCount()) {
        return kNone;
    }
    return rows_[static_cast<size_t>(row - 1)];
}

const ExcelValue& ExcelSheet::Value(int row, int column) const {
    static const ExcelValue kEmpty;
    const std::vector<ExcelValue>& cells = Row(row);
    if (column < 1 || static_cast<size_t>(column) > cells.size()) {
        return kEmpty;
    }
    return cells[static_cast<size_t>(column - 1)];
}

ExcelValue& ExcelSheet::Cell(int row, int column) {
    if (static_cast<size_t>(row) > rows_.size()) {
        rows_.resize(static_cast<size_t>(row));
    }
    std::vector<ExcelValue>& cells = rows_[static_cast<size_t>(row - 1)];
    if (static_cast<size_t>(column) > cells.size()) {
        cells.resize(static_cast<size_t>(column));
    }
    return cells[static_cast<size_t>(column - 1)];
}

void ExcelSheet::AddFormat(const ExcelRange& range, ExcelCellFormat format) {
    // Settings made one after another on the same block (font, then
    // alignment) are one block: laid over each other in the same order.
    if (!formats_.empty() && formats_.back().range == range) {
        formats_.back().format.Merge(format);
        return;
    }
    formats_.push_back({range, std::move(format)});
}

ExcelCellFormat ExcelSheet::FormatAt(int row, int column) const {
    ExcelCellFormat merged;
    for (const FormatBlock& block : formats_) {
        if (block.range.Contains(row, column)) {
            merged.Merge(block.format);
        }
    }
    return merged;
}

void ExcelSheet::SetColumnWidth(int column1, int column2, double width) {
    for (int column = column1; column <= column2; ++column) {
        widths_[column] = width;
    }
}

std::optional<double> ExcelSheet::ColumnWidth(int column) const {
    const auto it = widths_.find(column);
    if (it == widths_.end()) {
        return std::nullopt;
    }
    return it->second;
}

#pragma once

#include "ExcelVariant.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The in-memory workbook behind TExcelExport: sheets with their cells,
// the formats set on blocks of cells, and column widths. Rows and columns
// are 1-based, within Excel's sheet (kMaxRows x kMaxColumns).

inline constexpr int kMaxRows = 1048576;
inline constexpr int kMaxColumns = 16384;
inline constexpr int kMaxSheets = 255;
// Excel's widest column, in characters of the default font.
inline constexpr double kMaxColumnWidth = 255;
// Longest cell text, in characters.
inline constexpr size_t kMaxTextLength = 32767;

// A block of cells; row2 >= row1 and column2 >= column1.
struct ExcelRange {
    int row1 = 1;
    int column1 = 1;
    int row2 = 1;
    int column2 = 1;

    int Rows() const { return row2 - row1 + 1; }
    int Columns() const { return column2 - column1 + 1; }
    bool Contains(int row, int column) const {
        return row >= row1 && row <= row2 && column >= column1 && column <= column2;
    }
    bool operator==(const ExcelRange&) const = default;
};

// Alignments and underline styles in the sense Excel gives the numbers it
// is handed (see TExcelExport::SetAlignment and SetFontStyle).
enum class HorizontalAlign : uint8_t {
    General,
    Left,
    Center,
    Right,
    Fill,
    Justify,
    CenterAcross,
    Distributed
};
enum class VerticalAlign : uint8_t { Top, Center, Bottom, Justify, Distributed };
enum class UnderlineStyle : uint8_t { None, Single, Double, SingleAccounting, DoubleAccounting };

// What formatting a block of cells was given; a field left unset keeps
// what earlier settings gave the cell. Merged, it is one cell's format.
struct ExcelCellFormat {
    std::optional<std::string> numberFormat;
    std::optional<HorizontalAlign> horizontal;
    std::optional<VerticalAlign> vertical;
    std::optional<bool> bold;
    std::optional<bool> italic;
    std::optional<UnderlineStyle> underline;

    bool IsDefault() const {
        return !numberFormat && !horizontal && !vertical && !bold && !italic && !underline;
    }
    // Lays `later` over this: its set fields win.
    void Merge(const ExcelCellFormat& later);
    auto operator<=>(const ExcelCellFormat&) const = default;
};

class ExcelSheet {
public:
    explicit ExcelSheet(std::string name) : name_(std::move(name)) {}

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

    // The highest row holding a cell entry (a value may be empty), 0 when none.
    int RowCount() const { return static_cast<int>(rows_.size()); }
    // The cells of one row, column 1 first; may be shorter than the sheet.
    const std::vector<ExcelValue>& Row(int row) const;
    // An empty value outside the cells written.
    const ExcelValue& Value(int row, int column) const;
    // The cell's entry, created when missing. Row and column must be valid.
    ExcelValue& Cell(int row, int column);

    // Formats are kept as set, block by block, in order, and merged per
    // cell when asked or written.
    void AddFormat(const ExcelRange& range, ExcelCellFormat format);
    struct FormatBlock {
        ExcelRange range;
        ExcelCellFormat format;
    };
    const std::vector<FormatBlock>& Formats() const { return formats_; }
    ExcelCellFormat FormatAt(int row, int column) const;

    // Widths in characters of the default font, one per column.
    void SetColumnWidth(int column1, int column2, double width);
    std::optional<double> ColumnWidth(int column) const;
    const std::map<int, double>& ColumnWidths() const { return widths_; }

private:
    std::string name_;
    std::vector<std::vector<ExcelValue>> rows_;
    std::vector<FormatBlock> formats_;
    std::map<int, double> widths_;
};

struct ExcelWorkbook {
    std::vector<ExcelSheet> sheets;
};

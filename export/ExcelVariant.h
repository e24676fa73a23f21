#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// The values a workbook cell holds, with the type Excel keeps for them.
enum class ExcelValueType { Empty, Text, Int32, Double, Single, Boolean };

// One cell value. Text is UTF-8. Only the six types below convert
// implicitly; any other argument type (unsigned, long, char, a pointer other
// than a C string) does not compile, so a value never changes its type on
// the way into a cell.
class ExcelValue {
public:
    ExcelValue() = default;
    ExcelValue(std::string text) : value_(std::move(text)) {}
    ExcelValue(const char* text) : value_(std::string(text)) {}
    ExcelValue(int32_t number) : value_(number) {}
    ExcelValue(double number) : value_(number) {}
    ExcelValue(float number) : value_(number) {}
    ExcelValue(bool flag) : value_(flag) {}
    template <class T>
    ExcelValue(T) = delete;

    ExcelValueType Type() const { return static_cast<ExcelValueType>(value_.index()); }
    bool IsEmpty() const { return value_.index() == 0; }

    // Each accessor requires its type (std::bad_variant_access otherwise).
    const std::string& Text() const { return std::get<std::string>(value_); }
    int32_t Int32() const { return std::get<int32_t>(value_); }
    double Double() const { return std::get<double>(value_); }
    float Single() const { return std::get<float>(value_); }
    bool Boolean() const { return std::get<bool>(value_); }

    // The number a numeric cell holds (a single widened to double); 0 for
    // the other types.
    double Number() const;

    bool operator==(const ExcelValue&) const = default;

private:
    // Order matches ExcelValueType.
    std::variant<std::monostate, std::string, int32_t, double, float, bool> value_;
};

// The argument of TExcelExport::SetValue: a single value, or an array of
// values with one or more dimensions, each with its own bounds (as a
// variant array is made with VarArrayCreate). Elements are stored with the
// last dimension varying fastest, so a two-dimensional array is row after
// row, the first dimension going down the rows.
class ExcelVariant {
public:
    ExcelVariant() = default;
    ExcelVariant(ExcelValue value) : scalar_(std::move(value)) {}
    template <class T>
    requires std::constructible_from<ExcelValue, T> ExcelVariant(T&& value)
        : scalar_(std::forward<T>(value)) {}

    // Bounds are inclusive; a dimension with high = low - 1 has no element.
    // Raises std::invalid_argument for a dimension with high < low - 1, no
    // dimension, or more than kMaxElements elements.
    static ExcelVariant Array(int low, int high);
    static ExcelVariant Array(int low1, int high1, int low2, int high2);
    static ExcelVariant Array(const std::vector<std::pair<int, int>>& bounds);

    static constexpr int64_t kMaxElements = int64_t{1} << 26;

    bool IsArray() const { return !bounds_.empty(); }
    int Dimensions() const { return static_cast<int>(bounds_.size()); }
    // Dimension numbers are 1-based, as VarArrayLowBound counts them.
    int LowBound(int dimension) const { return bounds_.at(dimension - 1).first; }
    int HighBound(int dimension) const { return bounds_.at(dimension - 1).second; }
    int Length(int dimension) const { return HighBound(dimension) - LowBound(dimension) + 1; }

    // Elements by their indices within the bounds; std::out_of_range
    // outside them or for the wrong number of indices.
    ExcelValue& At(int i);
    ExcelValue& At(int i, int j);
    const ExcelValue& At(int i) const;
    const ExcelValue& At(int i, int j) const;

    // The single value (empty for an array).
    const ExcelValue& Scalar() const { return scalar_; }
    // All elements, last dimension fastest.
    std::vector<ExcelValue>& Elements() { return elements_; }
    const std::vector<ExcelValue>& Elements() const { return elements_; }

private:
    size_t Offset(int i) const;
    size_t Offset(int i, int j) const;

    ExcelValue scalar_;
    std::vector<std::pair<int, int>> bounds_;
    std::vector<ExcelValue> elements_;
};

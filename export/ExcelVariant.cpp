#include "ExcelVariant.h"

#include <stdexcept>

double ExcelValue::Number() const {
    switch (Type()) {
        case ExcelValueType::Int32:
            return Int32();
        case ExcelValueType::Double:
            return Double();
        case ExcelValueType::Single:
            return Single();
        default:
            return 0;
    }
}

ExcelVariant ExcelVariant::Array(int low, int high) {
    return Array(std::vector<std::pair<int, int>>{{low, high}});
}

ExcelVariant ExcelVariant::Array(int low1, int high1, int low2, int high2) {
    return Array(std::vector<std::pair<int, int>>{{low1, high1}, {low2, high2}});
}

ExcelVariant ExcelVariant::Array(const std::vector<std::pair<int, int>>& bounds) {
    if (bounds.empty()) {
        throw std::invalid_argument("array without dimensions");
    }
    int64_t count = 1;
    for (const auto& [low, high] : bounds) {
        const int64_t length = int64_t{high} - low + 1;
        if (length < 0) {
            throw std::invalid_argument("array bound below its low bound");
        }
        count *= length;
        if (count > kMaxElements) {
            throw std::invalid_argument("array too large");
        }
    }
    ExcelVariant array;
    array.bounds_ = bounds;
    array.elements_.resize(static_cast<size_t>(count));
    return array;
}

size_t ExcelVariant::Offset(int i) const {
    if (bounds_.size() != 1 || i < bounds_[0].first || i > bounds_[0].second) {
        throw std::out_of_range("array index out of bounds");
    }
    return static_cast<size_t>(int64_t{i} - bounds_[0].first);
}

size_t ExcelVariant::Offset(int i, int j) const {
    if (bounds_.size() != 2 || i < bounds_[0].first || i > bounds_[0].second ||
        j < bounds_[1].first || j > bounds_[1].second) {
        throw std::out_of_range("array index out of bounds");
    }
    const int64_t columns = int64_t{bounds_[1].second} - bounds_[1].first + 1;
    return static_cast<size_t>((int64_t{i} - bounds_[0].first) * columns +
                               (int64_t{j} - bounds_[1].first));
}

ExcelValue& ExcelVariant::At(int i) {
    return elements_[Offset(i)];
}
ExcelValue& ExcelVariant::At(int i, int j) {
    return elements_[Offset(i, j)];
}
const ExcelValue& ExcelVariant::At(int i) const {
    return elements_[Offset(i)];
}
const ExcelValue& ExcelVariant::At(int i, int j) const {
    return elements_[Offset(i, j)];
}

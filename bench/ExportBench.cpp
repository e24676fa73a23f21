#include "ExportBench.h"

#include "DateTime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>

using namespace ZQ_namespace;

namespace {

class Random {
public:
    explicit Random(uint32_t seed) : state_(seed * 2654435761u + 1) {}
    uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    uint32_t Below(uint32_t n) { return Next() % n; }

private:
    uint32_t state_;
};

void PutLe32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void PutFloat(uint8_t* p, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    PutLe32(p, bits);
}

// Records dated from 1 January 2024 on, one step of the archive's period
// apart.
std::vector<ArchiveStruct> Archive(size_t records, ArchiveKind kind, Random& random) {
    std::vector<ArchiveStruct> list(records);
    TDateTime start = 0;
    TryEncodeDate(2024, 1, 1, start);
    float volume = 1000;
    uint32_t minutes = 0;
    for (size_t i = 0; i < records; ++i) {
        ArchiveStruct& r = list[i];
        int year = 0, month = 0, day = 0;
        if (kind == akMonth) {
            year = 2024 + static_cast<int>(i / 12);
            month = static_cast<int>(i % 12) + 1;
            day = 1;
        } else {
            const double days =
                kind == akHour ? static_cast<double>(i / 24) : static_cast<double>(i);
            DecodeDate(start + days, year, month, day);
        }
        r.year = static_cast<uint8_t>(year - 2000);
        r.month = static_cast<uint8_t>(i % 997 == 500 ? 13 : month);
        r.day = static_cast<uint8_t>(day);
        r.hour = static_cast<uint8_t>(kind == akHour ? i % 24 : 0);
        volume += static_cast<float>(random.Below(1000)) / 100.0f;
        PutFloat(r.vPlus, volume);
        PutFloat(r.vMinus, static_cast<float>(random.Below(100)) / 8.0f);
        minutes += 1 + random.Below(60);
        r.workTime[0] = static_cast<uint8_t>(minutes);
        r.workTime[1] = static_cast<uint8_t>(minutes >> 8);
        r.workTime[2] = static_cast<uint8_t>(minutes >> 16);
        r.flags = static_cast<uint8_t>(random.Below(16));
    }
    return list;
}

std::vector<JournalStruct> Journal(size_t records, Random& random) {
    static constexpr int kEvents[] = {0, 1, 2, 3, 16, 17, 32, 33, 34, 69};
    std::vector<JournalStruct> list(records);
    for (size_t i = 0; i < records; ++i) {
        JournalStruct& r = list[i];
        if (i % 1000 == 999) {
            std::memset(&r, 0, sizeof r);  // a skipped page
            continue;
        }
        r.year = static_cast<uint8_t>(24 + random.Below(8));
        r.month = static_cast<uint8_t>(1 + random.Below(12));
        r.day = static_cast<uint8_t>(1 + random.Below(28));
        r.hour = static_cast<uint8_t>(random.Below(24));
        r.minute = static_cast<uint8_t>(random.Below(60));
        r.second = static_cast<uint8_t>(random.Below(60));
        const int event = kEvents[random.Below(std::size(kEvents))];
        const int type = event == 32 || event == 33 ? 10 : static_cast<int>(random.Below(10));
        const uint16_t code = static_cast<uint16_t>((type << 12) | event);
        r.code[0] = static_cast<uint8_t>(code);
        r.code[1] = static_cast<uint8_t>(code >> 8);
        if (type == 8) {
            PutFloat(r.oldValue, static_cast<float>(random.Below(10000)) / 16.0f);
            PutFloat(r.newValue, static_cast<float>(random.Below(10000)) / 16.0f);
        } else if (type == 10) {
            PutLe32(r.oldValue, random.Below(1000000));
            PutFloat(r.newValue, static_cast<float>(random.Below(1000)) / 1000.0f);
        } else {
            PutLe32(r.oldValue, random.Next());
            PutLe32(r.newValue, random.Next());
        }
    }
    return list;
}

void AppendJsonString(std::string& out, const std::string& text) {
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    out += '"';
}

void AppendNumber(std::string& out, double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    out += text;
}

// The python xlsxwriter properties of a merged format.
std::string FormatJson(const ExcelCellFormat& f) {
    static const char* const kAlign[] = {nullptr, "left",    "center",        "right",
                                         "fill",  "justify", "center_across", "distributed"};
    static const char* const kVAlign[] = {"top", "vcenter", "bottom", "vjustify", "vdistributed"};
    static const int kUnderline[] = {0, 1, 2, 33, 34};
    std::string out = "{";
    auto field = [&](const char* name) {
        if (out.size() > 1) {
            out += ',';
        }
        AppendJsonString(out, name);
        out += ':';
    };
    if (f.numberFormat && *f.numberFormat != "General") {
        field("num_format");
        AppendJsonString(out, *f.numberFormat);
    }
    if (f.horizontal && kAlign[static_cast<int>(*f.horizontal)]) {
        field("align");
        AppendJsonString(out, kAlign[static_cast<int>(*f.horizontal)]);
    }
    if (f.vertical) {
        field("valign");
        AppendJsonString(out, kVAlign[static_cast<int>(*f.vertical)]);
    }
    if (f.bold.value_or(false)) {
        field("bold");
        out += "true";
    }
    if (f.italic.value_or(false)) {
        field("italic");
        out += "true";
    }
    if (f.underline && *f.underline != UnderlineStyle::None) {
        field("underline");
        out += std::to_string(kUnderline[static_cast<int>(*f.underline)]);
    }
    return out + "}";
}

}  // namespace

ZQValve BenchDocument(size_t records, uint32_t seed) {
    Random random(seed);
    ZQValve valve;
    valve.Current.G = 1.5f;
    valve.Current.Vd = 123456.75;
    valve.Current.Serial = 42;
    valve.Current.NSFlags = 0x05;
    valve.Setup.NetAddress = 17;
    valve.HourArchive = Archive(records, akHour, random);
    valve.DayArchive = Archive(records, akDay, random);
    valve.MonthArchive = Archive(records, akMonth, random);
    valve.Journal = Journal(records, random);
    return valve;
}

size_t DumpCellsForPython(const ExcelWorkbook& book, const std::string& path) {
    std::map<ExcelCellFormat, int> formats;
    std::vector<std::string> formatJson;
    auto formatIndex = [&](const ExcelCellFormat& f) {
        if (f.IsDefault()) {
            return -1;
        }
        const auto [it, added] = formats.emplace(f, static_cast<int>(formats.size()));
        if (added) {
            formatJson.push_back(FormatJson(f));
        }
        return it->second;
    };

    size_t cells = 0;
    std::string sheets;
    for (const ExcelSheet& sheet : book.sheets) {
        if (!sheets.empty()) {
            sheets += ',';
        }
        sheets += "{\"name\":";
        AppendJsonString(sheets, sheet.Name());
        sheets += ",\"columns\":[";
        // Consecutive columns of one width as one range, as WriteXlsx does.
        const auto& widths = sheet.ColumnWidths();
        bool first = true;
        for (auto it = widths.begin(); it != widths.end();) {
            const double w = std::clamp(it->second, 0.0, kMaxColumnWidth);
            auto next = std::next(it);
            int last = it->first;
            while (next != widths.end() && next->first == last + 1 &&
                   std::clamp(next->second, 0.0, kMaxColumnWidth) == w) {
                last = next->first;
                ++next;
            }
            sheets += first ? "[" : ",[";
            first = false;
            sheets += std::to_string(it->first - 1) + "," + std::to_string(last - 1) + ",";
            AppendNumber(sheets, w);
            sheets += w == 0 ? ",true]" : ",false]";
            it = next;
        }
        sheets += "],\"rows\":[";
        int lastRow = sheet.RowCount();
        int lastColumn = 0;
        for (const auto& block : sheet.Formats()) {
            lastRow = std::max(lastRow, block.range.row2);
            lastColumn = std::max(lastColumn, block.range.column2);
        }
        bool firstRow = true;
        for (int row = 1; row <= lastRow; ++row) {
            const int columns = std::max(lastColumn, static_cast<int>(sheet.Row(row).size()));
            std::string rowJson;
            for (int column = 1; column <= columns; ++column) {
                const ExcelValue& value = sheet.Value(row, column);
                const int format = formatIndex(sheet.FormatAt(row, column));
                std::string cell =
                    "[" + std::to_string(column - 1) + "," + std::to_string(format) + ",";
                switch (value.Type()) {
                    case ExcelValueType::Text:
                        cell += "\"s\",";
                        AppendJsonString(cell, value.Text());
                        break;
                    case ExcelValueType::Boolean:
                        cell += value.Boolean() ? "\"b\",true" : "\"b\",false";
                        break;
                    case ExcelValueType::Empty:
                        cell += "\"e\",null";
                        break;
                    default:
                        if (std::isfinite(value.Number())) {
                            cell += "\"n\",";
                            AppendNumber(cell, value.Number());
                        } else {
                            cell += "\"e\",null";
                        }
                        break;
                }
                const bool blank = cell.find("\"e\"") != std::string::npos;
                if (blank && format < 0) {
                    continue;
                }
                rowJson += rowJson.empty() ? "" : ",";
                rowJson += cell + "]";
                ++cells;
            }
            if (rowJson.empty()) {
                continue;
            }
            sheets += firstRow ? "[" : ",[";
            firstRow = false;
            sheets += std::to_string(row - 1) + ",[" + rowJson + "]]";
        }
        sheets += "]}";
    }

    std::string out = "{\"formats\":[";
    for (size_t i = 0; i < formatJson.size(); ++i) {
        out += (i ? "," : "") + formatJson[i];
    }
    out += "],\"sheets\":[" + sheets + "]}\n";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
    const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    if (std::fclose(file) != 0 || !written) {
        throw std::runtime_error("cannot write " + path);
    }
    return cells;
}

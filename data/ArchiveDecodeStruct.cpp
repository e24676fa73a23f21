#include "ArchiveDecodeStruct.h"

#include "RecordTexts.h"
#include "TextFormat.h"

namespace ZQ_namespace {

namespace {

// Four characters, one per flag bit 0..3: the bit number + 1 when set, '-'
// when clear. Bits 4..7 are not used by the device.
std::string FlagsText(uint8_t flags) {
    std::string text(4, '-');
    for (int bit = 0; bit < 4; ++bit) {
        if (flags & (1 << bit)) {
            text[static_cast<size_t>(bit)] = static_cast<char>('1' + bit);
        }
    }
    return text;
}

}  // namespace

bool ArchiveDecodeStruct::Decode(const ArchiveStruct& record, ArchiveKind kind) {
    TDateTime date = 0;
    if (!TryEncodeDate(2000 + record.year, record.month, record.day, date)) {
        dateText = UnusableRecordText(record.Bytes());
        return false;
    }
    dateTime = date;
    const FormatSettings& settings = DefaultFormatSettings();
    switch (kind) {
        case akHour:
            // The hour is not validated: the device's hour 0..23 is shown as
            // the end of the hour, 1..24.
            dateText = FormatDateTime("dd'/'mm'/'yy", date, settings) +
                       FormatText("  %02d ч", record.hour + 1);
            break;
        case akDay:
            dateText = FormatDateTime("dd'/'mm'/'yy", date, settings);
            break;
        case akMonth:
            dateText = FormatDateTime("mm'/'yy", date, settings);
            break;
        default:
            break;
    }
    vPlusText = FormatText("%012.3f", static_cast<double>(record.VPlus()));
    vMinusText = FormatText("%012.3f", static_cast<double>(record.VMinus()));
    const uint32_t minutes = record.WorkTime();
    workText = FormatText("%02u:%02u", minutes / 60, minutes % 60);
    flagsText = FlagsText(record.flags);
    return true;
}

}  // namespace ZQ_namespace

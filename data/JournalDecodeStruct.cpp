#include "JournalDecodeStruct.h"

#include "RecordTexts.h"
#include "TextFormat.h"

namespace ZQ_namespace {

namespace {

// Value types, bits 12..15 of the code field.
enum ValueType {
    kNoValue = 0,
    kBool = 1,
    kUInt8 = 2,
    kInt8 = 3,
    kUInt16 = 4,
    kInt16 = 5,
    kUInt32 = 6,
    kInt32 = 7,
    kFloat = 8,
    kDateTimeStamp = 9,  // yy mm dd hh nn ss over bytes 8..13
    kCounter = 10,       // 32-bit unsigned whole part (bytes 8..11) + float fraction (12..15)
};

constexpr int kMinutesPerDay = 1440;

// One 4-byte value field rendered by a scalar value type; "" for the types
// that render nothing or span both fields.
std::string ScalarText(int type, const uint8_t* value) {
    switch (type) {
        case kBool:
            return value[0] != 0 ? "Да" : "Нет";
        case kUInt8:
            return FormatText("%u", static_cast<unsigned>(value[0]));
        case kInt8:
            return FormatText("%d", static_cast<int>(static_cast<int8_t>(value[0])));
        case kUInt16:
            return FormatText("%u", static_cast<unsigned>(ReadLe16(value)));
        case kInt16:
            return FormatText("%d", static_cast<int>(static_cast<int16_t>(ReadLe16(value))));
        case kUInt32:
            return FormatText("%u", ReadLe32(value));
        case kInt32:
            return FormatText("%d", static_cast<int32_t>(ReadLe32(value)));
        case kFloat:
            return FormatText("%g", static_cast<double>(ReadLeFloat(value)));
        default:
            return std::string();
    }
}

// The six bytes at `stamp` (yy mm dd hh nn ss) as "dd'/'mm'/'yy hh:nn:ss", or
// the invalid-time text when the date or the time cannot be formed.
std::string StampText(const uint8_t* stamp, const FormatSettings& settings) {
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(2000 + stamp[0], stamp[1], stamp[2], date) ||
        !TryEncodeTime(stamp[3], stamp[4], stamp[5], 0, time)) {
        return kInvalidTimeText;
    }
    return FormatDateTime("dd'/'mm'/'yy ", date, settings) +
           FormatDateTime("hh:nn:ss", time, settings);
}

}  // namespace

bool JournalDecodeStruct::Decode(const JournalStruct& record) {
    paramText.clear();
    oldText.clear();
    newText.clear();
    const FormatSettings& settings = DefaultFormatSettings();
    const uint8_t* bytes = record.Bytes();
    const uint8_t* oldValue = bytes + 8;   // 4 bytes
    const uint8_t* newValue = bytes + 12;  // 4 bytes

    // The date is formed first: an invalid date leaves `date` and `time` as
    // they were, an invalid time leaves `time`.
    bool stampValid = false;
    TDateTime formed = 0;
    if (TryEncodeDate(2000 + record.year, record.month, record.day, formed)) {
        date = formed;
        if (TryEncodeTime(record.hour, record.minute, record.second, 0, formed)) {
            time = formed;
            stampValid = true;
        }
    }
    if (stampValid) {
        dateTimeText = FormatDateTime("dd'/'mm'/'yy ", date, settings) +
                       FormatDateTime("hh:nn:ss", time, settings);
    } else if (IsEmptySlot(bytes)) {
        dateTimeText = UnusableRecordText(bytes);
        paramText = kEmptyPageValueText;
        oldText = kEmptyPageValueText;
        newText = kEmptyPageValueText;
        return false;
    } else {
        dateTimeText = kInvalidTimeText;
    }

    const int type = record.ValueType();
    if (type == kDateTimeStamp) {
        oldText = StampText(oldValue, settings);
    } else if (type == kCounter) {
        const double counter =
            static_cast<double>(ReadLe32(oldValue)) + static_cast<double>(ReadLeFloat(newValue));
        oldText = FormatText("%013.3f", counter);
        newText = FormatText("%013.3f", 0.0);
    } else {
        oldText = ScalarText(type, oldValue);
        newText = ScalarText(type, newValue);
    }

    const int event = record.EventCode();
    paramText = JournalEventText(event);
    if (IsVolumeEvent(event)) {
        oldText += " м3";
        newText += " м3";
    } else if (event == kEventOperatingTime) {
        // The old value is the operating time in minutes; the device counts
        // days in 16 bits.
        const uint32_t minutes = ReadLe32(oldValue);
        const unsigned days = (minutes / kMinutesPerDay) % 65536;
        oldText = FormatText("%u-сут %02u:%02u", days, minutes % kMinutesPerDay / 60, minutes % 60);
        newText = "0:00";
    }
    return true;
}

}  // namespace ZQ_namespace

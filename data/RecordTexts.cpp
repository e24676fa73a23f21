#include "RecordTexts.h"

#include "TextFormat.h"

namespace ZQ_namespace {

const char* UnusableRecordText(const uint8_t* record) {
    if (record[0] == 0x00 && record[1] == 0x00 && record[2] == 0x00 && record[3] == 0x00) {
        return kSkippedPageText;
    }
    if (record[0] == 0xFF && record[1] == 0xFF && record[2] == 0xFF && record[3] == 0xFF) {
        return kErasedPageText;
    }
    return kInvalidTimeText;
}

std::string JournalEventText(int code) {
    for (const JournalEventName& event : kJournalEventNames) {
        if (event.code == code) {
            return event.name;
        }
    }
    return FormatText("Параметр %d", code);
}

}  // namespace ZQ_namespace

#pragma once

#include "DateTime.h"
#include "JournalStruct.h"

#include <string>

namespace ZQ_namespace {

// One journal record turned into the texts of a journal page row. A caller
// may reuse one value for a whole list; the date patterns use the separators
// of DefaultFormatSettings().
struct JournalDecodeStruct {
    TDateTime date = 0;        // the record's date; kept when the record's date is invalid
    TDateTime time = 0;        // its time of day; kept when the date or the time is invalid
    std::string dateTimeText;  // "Дата/Время"
    std::string paramText;     // "Параметр": the event name
    std::string oldText;       // "Старое значение"
    std::string newText;       // "Новое значение"

    // Sets all four texts in every case. Returns false for a skipped or
    // erased page (texts "xxxx"), true otherwise; a record with an invalid
    // date or time that is not such a page is decoded with
    // "Некоректное время" as its date text.
    bool Decode(const JournalStruct& record);
};

}  // namespace ZQ_namespace

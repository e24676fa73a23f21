#pragma once

#include "ArchiveStruct.h"
#include "DateTime.h"

#include <string>

namespace ZQ_namespace {

// One archive record turned into the texts of an archive page row. A caller
// may reuse one value for a whole list; the date patterns use the separators
// of DefaultFormatSettings().
struct ArchiveDecodeStruct {
    TDateTime dateTime = 0;  // the record's date, at midnight
    std::string dateText;    // "Дата"
    std::string vPlusText;   // "V+", m3
    std::string vMinusText;  // "V-", m3
    std::string workText;    // "Tраб", hours:minutes
    std::string flagsText;   // "Статус", one character per flag bit 0..3

    // `kind` is akHour, akDay or akMonth and chooses the date text; for any
    // other kind dateText is left as it was. Returns true with every field
    // set for a record with a valid date. Returns false for an unusable
    // record (skipped page, erased page, invalid date), having set dateText
    // only; the other fields keep what they held.
    bool Decode(const ArchiveStruct& record, ArchiveKind kind);
};

}  // namespace ZQ_namespace

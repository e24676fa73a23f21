// The archive and journal record decoders on any 16-byte records: every
// kind, the results they promise, and the texts of records that carry no
// usable date.
#include "ArchiveDecodeStruct.h"
#include "FuzzInput.h"
#include "JournalDecodeStruct.h"
#include "RecordTexts.h"

#include <cstring>
#include <string>

namespace {

using namespace ZQ_namespace;

bool FirstFourAre(const uint8_t* bytes, uint8_t value) {
    return bytes[0] == value && bytes[1] == value && bytes[2] == value && bytes[3] == value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One decoder of each kind reused for every record, as the pages do.
    ArchiveDecodeStruct archive[3];
    JournalDecodeStruct journal;
    for (size_t at = 0; at + 16 <= size; at += 16) {
        const uint8_t* bytes = data + at;
        ArchiveStruct record;
        std::memcpy(&record, bytes, 16);
        for (int kind = akHour; kind <= akMonth; ++kind) {
            ArchiveDecodeStruct& row = archive[kind];
            if (!row.Decode(record, static_cast<ArchiveKind>(kind))) {
                FUZZ_CHECK(row.dateText == UnusableRecordText(bytes),
                           "an unusable record without its text");
            } else {
                FUZZ_CHECK(row.flagsText.size() == 4, "a status text not of four characters");
            }
        }
        // Kinds the archive pages never pass leave the date text alone.
        ArchiveDecodeStruct other;
        other.dateText = "x";
        if (other.Decode(record, akJournal)) {
            FUZZ_CHECK(other.dateText == "x", "a date text for a kind without dates");
        }

        JournalStruct entry;
        std::memcpy(&entry, bytes, 16);
        const bool shown = journal.Decode(entry);
        const bool page = FirstFourAre(bytes, 0x00) || FirstFourAre(bytes, 0xFF);
        FUZZ_CHECK(shown == !page, "a journal record taken for a page or the reverse");
        if (!shown) {
            FUZZ_CHECK(journal.paramText == kEmptyPageValueText, "a page without its texts");
        }
    }
    return 0;
}

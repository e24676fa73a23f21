#pragma once

#include "ArchiveStruct.h"
#include "CurrentParamsStruct.h"
#include "JournalStruct.h"
#include "SetupParamsStruct.h"

#include <cstdint>
#include <vector>

// Everything read from one device. Copying copies the records and replaces
// each list by copies of the source's records in the same order.
struct ZQValve {
    // The four bytes after "RORI" in the identification answer; the third is
    // the device version (0 and 1 are known).
    uint8_t Ident[4] = {0, 0, 0, 0};
    CurrentParamsStruct Current;
    SetupParamsStruct Setup;
    std::vector<ZQ_namespace::ArchiveStruct> HourArchive;
    std::vector<ZQ_namespace::ArchiveStruct> DayArchive;
    std::vector<ZQ_namespace::ArchiveStruct> MonthArchive;
    std::vector<ZQ_namespace::JournalStruct> Journal;

    void Clear();
    int Version() const { return Ident[2]; }
    bool operator==(const ZQValve&) const;
};

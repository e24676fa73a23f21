#pragma once

#include "DateTime.h"

#include <cstdint>

// What "read all" reads. Persisted in the ReadSettings key of the store (the
// two leading flags are not stored; the read settings dialog always sets them).
struct ReadSettingsStruct {
    bool ReadCurrentParams = false;
    bool ReadSetupParams = false;
    bool ReadHourArchive = true;
    bool ReadDayArchive = true;
    bool ReadMonthArchive = true;
    bool ReadJournal = true;
    int32_t ReadInterval = 0;          // 0 whole archive, 1 missing part, 2 given interval
    TDateTime StartInterval = 40909;   // 1 January 2012
    TDateTime FinishInterval = 40909;  // 1 January 2012

    bool operator==(const ReadSettingsStruct&) const = default;
};

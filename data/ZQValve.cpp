#include "ZQValve.h"

#include <cstring>

void ZQValve::Clear() {
    std::memset(Ident, 0, sizeof Ident);
    Current = CurrentParamsStruct{};
    Setup = SetupParamsStruct{};
    HourArchive.clear();
    DayArchive.clear();
    MonthArchive.clear();
    Journal.clear();
}

bool ZQValve::operator==(const ZQValve& other) const {
    return std::memcmp(Ident, other.Ident, sizeof Ident) == 0 && Current == other.Current &&
           Setup == other.Setup && HourArchive == other.HourArchive &&
           DayArchive == other.DayArchive && MonthArchive == other.MonthArchive &&
           Journal == other.Journal;
}

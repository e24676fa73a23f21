#pragma once

#include "FleetDatabase.h"
#include "HistoryStore.h"
#include "Meter.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// What the window's list of meters shows: every meter of the register with
// its last read and the records held, read in three statements whatever the
// number of meters (the register, the last read of each, the records
// counted per meter and list).
struct MeterSummary {
    Meter meter;
    std::optional<HistoryStore::LastRead> last;  // none before the first read
    std::array<size_t, 4> counts{};              // records held, akHour .. akJournal
};
std::vector<MeterSummary> LoadMeterOverview(FleetDatabase& database);

// What changes when a read or a round ends, or the register grows or
// shrinks, in anyone's process: the newest ended read, the rounds ended, the
// meters of the register. Cheap (the keys' ends and the small tables), for
// a poll every few seconds; two marks differ when something of that kind
// happened between them.
struct ReadLogMark {
    int64_t lastEndedRead = 0;
    int64_t endedRounds = 0;
    int64_t meters = 0;
    int64_t newestMeter = 0;
    bool operator==(const ReadLogMark&) const = default;
};
ReadLogMark LoadReadLogMark(FleetDatabase& database);

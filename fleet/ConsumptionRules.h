#pragma once

#include "ConsumptionReport.h"

#include <cstdint>
#include <limits>
#include <vector>

// The rules of ConsumptionReport.h applied to one meter's records of the
// period, apart from the database.
//
// Times here are moments of the counters counted in hours: Julian day x 24
// + hour. An hourly record of hour h of day d holds the counters at moment
// d x 24 + h + 1; a daily record of day d at (d + 1) x 24.

inline constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

struct HourRecord {
    int64_t moment = 0;
    double vPlus = 0;  // m3 as stored; NaN when the bytes hold no number
    double vMinus = 0;
    int flags = 0;  // bits 0..3: abnormal situations in that hour
};

struct MeterHistory {
    // Hourly records of hour 23 of the day before the period to hour 23 of
    // its last day, by moment, records of one moment in the order written.
    std::vector<HourRecord> hourly;
    // Daily records of the day before the period to its last day, by moment.
    std::vector<HourRecord> daily;
    int journalEvents = 0;  // of the period
};

// Everything of MeterConsumption but what the register and the read log
// give (name, group, serial, last read).
MeterConsumption ComputeConsumption(const MeterHistory& history, QDate from, QDate to);

#pragma once

#include "CivilTime.h"
#include "RingMemory.h"

#include <array>
#include <cstdint>

namespace zqsim {

// Ring index of each archive kind, as in the kind byte of function 65.
enum RingKind { kHourRing = 0, kDayRing = 1, kMonthRing = 2, kJournalRing = 3, kRingKinds = 4 };

// Measured values and counters. The counters hold their values at the
// moment the content was made (or last cleared) and run on from there.
struct CurrentValues {
    uint32_t serial = 0;
    uint32_t ton = 0;         // power-on time, minutes
    uint32_t twork = 0;       // operating time, minutes
    float impulseWeight = 0;  // litres
    float impulseLength = 0;  // ms
    float g = 0;              // flow, m3/h; negative flow fills V-
    float gmin = 0;
    float gmax = 0;
    double vPlus = 0;   // m3
    double vMinus = 0;  // m3
    uint8_t nsFlags = 0;
    uint16_t duIndex = 0;
    uint16_t currentCode = 0;  // 0.001 mA
};

struct HoldingValues {
    uint16_t calibrationCode = 0;  // 0..16383
    uint16_t testCode = 0;         // 0..16383
    uint16_t testMode = 0;         // 0 or 1
};

struct DeviceContent {
    std::array<RingMemory, kRingKinds> rings;
    CurrentValues current;
    HoldingValues holding;
};

// How one ring is filled: `records` records in a ring of `size` slots, the
// oldest at slot `oldest`. records < size <= 65536 and oldest < size.
struct RingLayout {
    int records = 0;
    int size = 1;
    int oldest = 0;
};

struct ContentOptions {
    uint64_t seed = 1;
    std::array<RingLayout, kRingKinds> rings;
    double emptyProbability = 0;  // chance that a live slot is erased
    int emptyCount = 0;           // live slots erased in each ring
    // Values fixed by the caller; negative = drawn from the seed.
    int64_t serial = -1;
    int nsFlags = -1;
    int duIndex = -1;
    // The same device this many days after the clock the records were made
    // for: the rings as they stood then, and since then one new record per
    // hour, day and month that ended and some journal events, a full ring
    // losing its oldest records. 0 = none. What the device wrote for each
    // hour, day and month depends on the seed and that period alone, so the
    // device of 30 days on and the device of 60 days on (each `now` 30 or 60
    // days after the same earlier clock) hold one history.
    int laterDays = 0;
};

// Realistic contents: hourly records one per hour back from the clock,
// daily one per day, monthly one per month, all with volumes and operating
// times that grow towards the newest; journal events with value types that
// suit their codes. The same options and clock give the same bytes. With
// `laterDays`, the records are made for that many days before `now` and the
// days up to `now` are added; without it, the same seed and that earlier
// clock give exactly the rings as they stood then.
DeviceContent GenerateContent(const ContentOptions& options, const CivilTime& now);

// The serial number GenerateContent gives these options, without the rest.
uint32_t ContentSerial(const ContentOptions& options);

}  // namespace zqsim

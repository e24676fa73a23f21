#pragma once

#include "ArchiveStruct.h"
#include "DateTime.h"

#include <cstdint>
#include <string>
#include <vector>

// The consumption drawn under an archive page: the volume of every interval
// of the archive, computed from the records alone (no widget or chart type
// here, so it is tested on its own).
//
// Slots number the intervals of a kind: hours (day number x 24 + hour),
// days (the day number of the record's date) or months ((2000 + year) x 12
// + month - 1). A record holds the counters at the end of its interval (the
// hourly page shows hour 14 as "15 ч"), so the increase of V+ from the record
// of slot s - 1 to the record of slot s is the volume of interval s, and the
// bar of interval s carries the date text of the record of slot s.
namespace zqui {

struct ConsumptionPoint {
    int64_t slot = 0;    // the interval, in slots of the kind
    TDateTime time = 0;  // its start
    double vPlus = 0;    // increase of V+ over the interval, m3, >= 0
    double vMinus = 0;   // increase of V-, m3, >= 0
};

struct ConsumptionSeries {
    ZQ_namespace::ArchiveKind kind = ZQ_namespace::akHour;
    std::vector<ConsumptionPoint> points;  // ascending slots, each slot at most once
    bool hasVMinus = false;                // some V- increase is above zero
};

// The intervals of `list` (in any order; the device sends the newest first)
// for `kind` (akHour, akDay or akMonth; any other kind gives no points).
//
// - A record whose date is invalid (skipped, erased, bad date) is left out,
//   as on the page; so is an hourly record whose hour is above 23, which has
//   no place in time although the page shows it.
// - The records are ordered by slot; a point is made for each record whose
//   neighbour before it is the record of the slot just before.
// - Gap: when one or more slots are missing before a record, the increase up
//   to it spans the missing intervals as well and is not drawn; the record
//   starts the count again, so the first bar after a gap is the interval
//   after that record's.
// - A decrease of V+ or V- (the counters cleared by "Сброс архива", or a
//   clock set back) is not drawn either, never as a negative bar: the volume
//   of that interval is not known; counting goes on from the record.
// - Two records of the same slot make no point; a counter that is not a
//   finite number makes no point with either neighbour.
ConsumptionSeries ComputeConsumption(const std::vector<ZQ_namespace::ArchiveStruct>& list,
                                     ZQ_namespace::ArchiveKind kind);

// Intervals summed into one bar.
struct ConsumptionBucket {
    int64_t firstSlot = 0;  // first interval of the bucket
    int64_t slotCount = 1;  // intervals it spans
    int32_t intervals = 0;  // of them, those with a point
    double vPlus = 0;       // sums of the points, m3
    double vMinus = 0;
};

// Consecutive buckets of `width` slots from `from` up to `to` (exclusive; a
// last bucket that would pass `to` keeps its full width). Empty for width < 1
// or to <= from; at most kMaxBuckets buckets.
inline constexpr int64_t kMaxBuckets = 100000;
std::vector<ConsumptionBucket> AggregateConsumption(const std::vector<ConsumptionPoint>& points,
                                                    int64_t from, int64_t to, int64_t width);

// The smallest round bucket width (1, 2, 3, 4, 6, 12, 24 hours, 7 days ...;
// days 1, 2, 3, 5, 7, 10, 14, 30 ...; months 1, 2, 3, 4, 6, 12 ...) that
// shows `span` slots in at most `maxBuckets` buckets.
int64_t BucketWidthFor(ZQ_namespace::ArchiveKind kind, double span, int maxBuckets);

// Start of a slot, and its date text as the page shows it ("08/12/26  15 ч",
// "08/12/26", "12/26").
TDateTime SlotStart(ZQ_namespace::ArchiveKind kind, int64_t slot);
std::string SlotText(ZQ_namespace::ArchiveKind kind, int64_t slot);

// Title of the volume axis for buckets of `width` slots: "м³ за час",
// "м³ за сутки", "м³ за месяц", or "м³ за 6 ч" and the like.
std::string VolumeAxisTitle(ZQ_namespace::ArchiveKind kind, int64_t width);

// Labels of the time axis between `from` and `to` (slots), at most
// `maxTicks`, on round boundaries (hours of the day, Mondays, first days of
// months): each at the start of its slot, the text its moment
// ("08/12/26 14:00", "08/12/26", "12/26").
struct TimeTick {
    int64_t slot = 0;
    std::string text;
};
std::vector<TimeTick> TimeAxisTicks(ZQ_namespace::ArchiveKind kind, double from, double to,
                                    int maxTicks);

}  // namespace zqui

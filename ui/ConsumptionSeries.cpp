#include "ConsumptionSeries.h"

#include "TextFormat.h"

#include <algorithm>
#include <cmath>

using namespace ZQ_namespace;

namespace zqui {

namespace {

constexpr int64_t kHoursPerDay = 24;
// Mean lengths used only to choose a label step (Gregorian year / 12).
constexpr double kDaysPerMonth = 30.436875;

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

int64_t FloorMod(int64_t a, int64_t b) {
    return a - FloorDiv(a, b) * b;
}

// The counters of one usable record at its slot.
struct Reading {
    int64_t slot;
    double vPlus;
    double vMinus;
};

int64_t MonthSlotOf(int year, int month) {
    return static_cast<int64_t>(year) * 12 + (month - 1);
}

// The day number of the first day of month index `monthIndex` (year x 12 +
// month - 1); false outside the calendar's years.
bool MonthStartDay(int64_t monthIndex, int64_t& day) {
    const int64_t year = FloorDiv(monthIndex, 12);
    const int month = static_cast<int>(FloorMod(monthIndex, 12)) + 1;
    TDateTime date = 0;
    if (year < 1 || year > 9999 || !TryEncodeDate(static_cast<int>(year), month, 1, date)) {
        return false;
    }
    day = std::llround(date);
    return true;
}

// Label steps of the time axis, and how many slots of `kind` one takes.
enum class TickUnit { Hour, Day, Month };
struct TickStep {
    TickUnit unit;
    int count;
};

constexpr TickStep kHourSteps[] = {
    {TickUnit::Hour, 1},   {TickUnit::Hour, 2},   {TickUnit::Hour, 3},   {TickUnit::Hour, 6},
    {TickUnit::Hour, 12},  {TickUnit::Day, 1},    {TickUnit::Day, 2},    {TickUnit::Day, 7},
    {TickUnit::Day, 14},   {TickUnit::Month, 1},  {TickUnit::Month, 2},  {TickUnit::Month, 3},
    {TickUnit::Month, 6},  {TickUnit::Month, 12}, {TickUnit::Month, 24}, {TickUnit::Month, 60},
    {TickUnit::Month, 120}};
constexpr TickStep kDaySteps[] = {
    {TickUnit::Day, 1},    {TickUnit::Day, 2},    {TickUnit::Day, 7},    {TickUnit::Day, 14},
    {TickUnit::Month, 1},  {TickUnit::Month, 2},  {TickUnit::Month, 3},  {TickUnit::Month, 6},
    {TickUnit::Month, 12}, {TickUnit::Month, 24}, {TickUnit::Month, 60}, {TickUnit::Month, 120}};
constexpr TickStep kMonthSteps[] = {
    {TickUnit::Month, 1},  {TickUnit::Month, 2},  {TickUnit::Month, 3},  {TickUnit::Month, 6},
    {TickUnit::Month, 12}, {TickUnit::Month, 24}, {TickUnit::Month, 60}, {TickUnit::Month, 120}};

double StepSlots(ArchiveKind kind, TickStep step) {
    const double perDay = kind == akHour ? kHoursPerDay : 1.0;
    switch (step.unit) {
        case TickUnit::Hour:
            return step.count;
        case TickUnit::Day:
            return step.count * perDay;
        case TickUnit::Month:
            return kind == akMonth ? step.count : step.count * kDaysPerMonth * perDay;
    }
    return 1;
}

std::string TickText(ArchiveKind kind, TickUnit unit, int64_t slot) {
    if (kind == akMonth) {
        return FormatDateTime("mm'/'yy", SlotStart(kind, slot));
    }
    if (unit == TickUnit::Hour) {
        return FormatDateTime("dd'/'mm'/'yy hh:nn", SlotStart(kind, slot));
    }
    return FormatDateTime("dd'/'mm'/'yy", SlotStart(kind, slot));
}

}  // namespace

ConsumptionSeries ComputeConsumption(const std::vector<ArchiveStruct>& list, ArchiveKind kind) {
    ConsumptionSeries series;
    series.kind = kind;
    if (kind != akHour && kind != akDay && kind != akMonth) {
        return series;
    }
    std::vector<Reading> readings;
    readings.reserve(list.size());
    for (const ArchiveStruct& record : list) {
        // The same test as the page's decoder: a date that encodes.
        TDateTime date = 0;
        if (!TryEncodeDate(2000 + record.year, record.month, record.day, date)) {
            continue;
        }
        const int64_t day = std::llround(date);
        int64_t slot = day;
        if (kind == akHour) {
            if (record.hour >= kHoursPerDay) {
                continue;
            }
            slot = day * kHoursPerDay + record.hour;
        } else if (kind == akMonth) {
            slot = MonthSlotOf(2000 + record.year, record.month);
        }
        readings.push_back({slot, record.VPlus(), record.VMinus()});
    }
    // The device sends the newest record first: a reversed list sorts at once.
    std::reverse(readings.begin(), readings.end());
    std::stable_sort(readings.begin(), readings.end(),
                     [](const Reading& a, const Reading& b) { return a.slot < b.slot; });

    series.points.reserve(readings.size());
    for (size_t i = 1; i < readings.size(); ++i) {
        const Reading& before = readings[i - 1];
        const Reading& after = readings[i];
        if (after.slot != before.slot + 1) {
            continue;  // a gap, or the same interval twice
        }
        const double plus = after.vPlus - before.vPlus;
        const double minus = after.vMinus - before.vMinus;
        // NaN fails every comparison, so a counter that is not a number
        // makes no point; a decrease is a cleared counter.
        if (!(std::isfinite(plus) && std::isfinite(minus) && plus >= 0 && minus >= 0)) {
            continue;
        }
        series.points.push_back({after.slot, SlotStart(kind, after.slot), plus, minus});
        if (minus > 0) {
            series.hasVMinus = true;
        }
    }
    return series;
}

std::vector<ConsumptionBucket> AggregateConsumption(const std::vector<ConsumptionPoint>& points,
                                                    int64_t from, int64_t to, int64_t width) {
    std::vector<ConsumptionBucket> buckets;
    if (width < 1 || to <= from) {
        return buckets;
    }
    const int64_t count = std::min((to - from + width - 1) / width, kMaxBuckets);
    buckets.resize(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) {
        buckets[static_cast<size_t>(i)].firstSlot = from + i * width;
        buckets[static_cast<size_t>(i)].slotCount = width;
    }
    const int64_t end = from + count * width;
    auto it = std::lower_bound(
        points.begin(), points.end(), from,
        [](const ConsumptionPoint& point, int64_t slot) { return point.slot < slot; });
    for (; it != points.end() && it->slot < end; ++it) {
        ConsumptionBucket& bucket = buckets[static_cast<size_t>((it->slot - from) / width)];
        bucket.vPlus += it->vPlus;
        bucket.vMinus += it->vMinus;
        ++bucket.intervals;
    }
    return buckets;
}

int64_t BucketWidthFor(ArchiveKind kind, double span, int maxBuckets) {
    static constexpr int64_t kHours[] = {1,  2,   3,   4,   6,    12,   24,   48,
                                         72, 168, 336, 720, 1440, 2160, 4320, 8760};
    static constexpr int64_t kDays[] = {1, 2, 3, 5, 7, 10, 14, 30, 61, 91, 182, 365};
    static constexpr int64_t kMonths[] = {1, 2, 3, 4, 6, 12, 24, 36, 60, 120};
    const double needed = span / std::max(maxBuckets, 1);
    const int64_t* first = kHours;
    const int64_t* last = std::end(kHours);
    if (kind == akDay) {
        first = kDays;
        last = std::end(kDays);
    } else if (kind == akMonth) {
        first = kMonths;
        last = std::end(kMonths);
    }
    for (const int64_t* width = first; width != last; ++width) {
        if (*width >= needed) {
            return *width;
        }
    }
    int64_t width = *(last - 1);
    while (width < needed && width < kMaxBuckets * kMaxBuckets) {
        width *= 2;
    }
    return width;
}

TDateTime SlotStart(ArchiveKind kind, int64_t slot) {
    switch (kind) {
        case akHour:
            return static_cast<double>(FloorDiv(slot, kHoursPerDay)) +
                   static_cast<double>(FloorMod(slot, kHoursPerDay)) / kHoursPerDay;
        case akMonth: {
            int64_t day = 0;
            return MonthStartDay(slot, day) ? static_cast<double>(day) : 0.0;
        }
        default:
            return static_cast<double>(slot);
    }
}

std::string SlotText(ArchiveKind kind, int64_t slot) {
    switch (kind) {
        case akHour:
            return FormatDateTime("dd'/'mm'/'yy", SlotStart(kind, slot)) +
                   FormatText("  %02d ч", static_cast<int>(FloorMod(slot, kHoursPerDay)) + 1);
        case akMonth:
            return FormatDateTime("mm'/'yy", SlotStart(kind, slot));
        default:
            return FormatDateTime("dd'/'mm'/'yy", SlotStart(kind, slot));
    }
}

std::string VolumeAxisTitle(ArchiveKind kind, int64_t width) {
    const long long n = static_cast<long long>(width);
    switch (kind) {
        case akHour:
            return width == 1 ? "м³ за час" : FormatText("м³ за %lld ч", n);
        case akMonth:
            return width == 1 ? "м³ за месяц" : FormatText("м³ за %lld мес", n);
        default:
            return width == 1 ? "м³ за сутки" : FormatText("м³ за %lld сут", n);
    }
}

std::vector<TimeTick> TimeAxisTicks(ArchiveKind kind, double from, double to, int maxTicks) {
    std::vector<TimeTick> ticks;
    if (!(to > from) || !std::isfinite(from) || !std::isfinite(to) || maxTicks < 1) {
        return ticks;
    }
    const TickStep* first = kHourSteps;
    const TickStep* last = std::end(kHourSteps);
    if (kind == akDay) {
        first = kDaySteps;
        last = std::end(kDaySteps);
    } else if (kind == akMonth) {
        first = kMonthSteps;
        last = std::end(kMonthSteps);
    }
    const TickStep* step = last - 1;
    for (const TickStep* s = first; s != last; ++s) {
        if ((to - from) / StepSlots(kind, *s) <= maxTicks) {
            step = s;
            break;
        }
    }
    const int64_t lo = static_cast<int64_t>(std::ceil(from));
    const int64_t hi = static_cast<int64_t>(std::floor(to));
    const int64_t n = step->count;
    const size_t limit = static_cast<size_t>(maxTicks) + 2;
    auto add = [&](int64_t slot) { ticks.push_back({slot, TickText(kind, step->unit, slot)}); };
    switch (step->unit) {
        case TickUnit::Hour:
            for (int64_t slot = FloorDiv(lo + n - 1, n) * n; slot <= hi && ticks.size() < limit;
                 slot += n) {
                add(slot);
            }
            break;
        case TickUnit::Day: {
            const int64_t perDay = kind == akHour ? kHoursPerDay : 1;
            const int64_t dayLo = FloorDiv(lo + perDay - 1, perDay);
            // Weeks start on Mondays: day 2 (1 January 1900) was one.
            const int64_t offset = n >= 7 ? 2 : 0;
            for (int64_t day = dayLo + FloorMod(offset - dayLo, n);
                 day * perDay <= hi && ticks.size() < limit; day += n) {
                add(day * perDay);
            }
            break;
        }
        case TickUnit::Month: {
            int64_t month = lo;
            if (kind != akMonth) {
                const int64_t perDay = kind == akHour ? kHoursPerDay : 1;
                int year = 0, monthOfYear = 0, day = 0;
                DecodeDate(static_cast<double>(FloorDiv(lo, perDay)), year, monthOfYear, day);
                month = MonthSlotOf(year, monthOfYear);
            }
            for (month = FloorDiv(month + n - 1, n) * n; ticks.size() < limit; month += n) {
                int64_t slot = month;
                if (kind != akMonth) {
                    int64_t day = 0;
                    if (!MonthStartDay(month, day)) {
                        break;
                    }
                    slot = kind == akHour ? day * kHoursPerDay : day;
                }
                if (slot > hi) {
                    break;
                }
                if (slot >= lo) {
                    add(slot);
                }
            }
            break;
        }
    }
    return ticks;
}

}  // namespace zqui

#include "ConsumptionRules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <tuple>

namespace {

constexpr int kAbnormalFlags = 0x0F;
constexpr int kHoursADay = 24;

using Records = std::vector<HourRecord>;
using Span = std::pair<Records::const_iterator, Records::const_iterator>;

TDateTime TimeOf(int64_t moment) {
    const QDate date = QDate::fromJulianDay(moment / kHoursADay);
    TDateTime day = 0;
    TDateTime time = 0;
    TryEncodeDate(date.year(), date.month(), date.day(), day);
    TryEncodeTime(static_cast<int>(moment % kHoursADay), 0, 0, 0, time);
    return day + time;
}

std::string At(int64_t moment) {
    return FormatReportTime(TimeOf(moment));
}

// The number the window shows for a counter (three decimals, the exact
// binary value rounded to the nearest, a tie to even, as printf does).
double Rounded(double value) {
    const std::string text = FormatReportVolume(value);
    double rounded = 0;
    std::from_chars(text.data(), text.data() + text.size(), rounded);
    return rounded;
}

// The records of moments first..last, both included.
Span Within(const Records& records, int64_t first, int64_t last) {
    const auto lo =
        std::lower_bound(records.begin(), records.end(), first,
                         [](const HourRecord& r, int64_t moment) { return r.moment < moment; });
    const auto hi =
        std::upper_bound(lo, records.end(), last,
                         [](int64_t moment, const HourRecord& r) { return moment < r.moment; });
    return {lo, hi};
}

bool IsNumber(const HourRecord& r) {
    return std::isfinite(r.vPlus) && std::isfinite(r.vMinus);
}

struct Reading {
    int64_t moment = 0;
    double vPlus = 0;  // as stored
    double vMinus = 0;
    bool fromDaily = false;
};

Reading ReadingOf(const HourRecord& r, bool fromDaily) {
    return {r.moment, r.vPlus, r.vMinus, fromDaily};
}

// The counters at `moment` exactly: the one hourly record ending there,
// else the one daily record. None when neither gives one number, or the
// hour was written twice.
std::optional<Reading> Exact(const MeterHistory& history, int64_t moment) {
    const auto [lo, hi] = Within(history.hourly, moment, moment);
    if (hi - lo > 1) {
        return std::nullopt;
    }
    if (hi - lo == 1 && IsNumber(*lo)) {
        return ReadingOf(*lo, false);
    }
    const auto [dayLo, dayHi] = Within(history.daily, moment, moment);
    if (dayHi - dayLo == 1 && IsNumber(*dayLo)) {
        return ReadingOf(*dayLo, true);
    }
    return std::nullopt;
}

// An hour of first..last written more than once: the device's clock was
// set back over it. Then no moment of that stretch is certain.
std::optional<std::string> Repeated(const MeterHistory& history, int64_t first, int64_t last) {
    const auto [lo, hi] = Within(history.hourly, first, last);
    const auto twice = std::adjacent_find(
        lo, hi, [](const HourRecord& a, const HourRecord& b) { return a.moment == b.moment; });
    if (twice == hi) {
        return std::nullopt;
    }
    return "показание на " + At(twice->moment) +
           " записано повторно (часы прибора переводились назад)";
}

// What keeps end - start from being the consumption between two readings:
// a counter going back from one record to the next in time, or one that
// is no number. None when the counters only grow or stay.
std::optional<std::string> Break(const MeterHistory& history, const Reading& start,
                                 const Reading& end) {
    Reading previous = start;
    auto step = [&](const Reading& next) -> std::optional<std::string> {
        if (!std::isfinite(next.vPlus) || !std::isfinite(next.vMinus)) {
            return "показание на " + At(next.moment) + " не число";
        }
        const bool plus = next.vPlus < previous.vPlus;
        if (plus || next.vMinus < previous.vMinus) {
            return std::string(plus ? "V+" : "V−") + " уменьшился с " +
                   FormatReportVolume(plus ? previous.vPlus : previous.vMinus) + " до " +
                   FormatReportVolume(plus ? next.vPlus : next.vMinus) + " к " + At(next.moment) +
                   " (сброс архива, перевод часов назад или замена прибора)";
        }
        previous = next;
        return std::nullopt;
    };
    const auto [lo, hi] = Within(history.hourly, start.moment + 1, end.moment - 1);
    for (auto r = lo; r != hi; ++r) {
        if (auto broken = step(ReadingOf(*r, false))) {
            return broken;
        }
    }
    return step(end);
}

MeterReading Shown(const Reading& r) {
    return {TimeOf(r.moment), Rounded(r.vPlus), Rounded(r.vMinus), r.fromDaily};
}

// Distinct hours with a record among the moments first+1..last, and of
// them those with an abnormal situation.
std::pair<int, int> Hours(const MeterHistory& history, int64_t first, int64_t last) {
    const auto [lo, hi] = Within(history.hourly, first + 1, last);
    int with = 0;
    int abnormal = 0;
    for (auto r = lo; r != hi;) {
        bool flagged = false;
        const int64_t moment = r->moment;
        for (; r != hi && r->moment == moment; ++r) {
            flagged = flagged || (r->flags & kAbnormalFlags) != 0;
        }
        ++with;
        abnormal += flagged ? 1 : 0;
    }
    return {with, abnormal};
}

DayConsumption Day(const MeterHistory& history, QDate date) {
    DayConsumption day;
    day.date = date;
    const int64_t first = date.toJulianDay() * kHoursADay;
    const int64_t last = first + kHoursADay;
    day.hoursWithRecord = Hours(history, first, last).first;
    const std::optional<Reading> start = Exact(history, first);
    const std::optional<Reading> end = Exact(history, last);
    if (start && end && !Repeated(history, first, last) && !Break(history, *start, *end)) {
        day.vPlus = Rounded(Rounded(end->vPlus) - Rounded(start->vPlus));
        day.vMinus = Rounded(Rounded(end->vMinus) - Rounded(start->vMinus));
    }
    return day;
}

// The clause of the remark about one reading; "" for an exact hourly one.
std::string ReadingRemark(const std::optional<Reading>& reading, bool nearest, const char* which) {
    if (!reading) {
        return std::string("нет показания на ") + which + " периода";
    }
    if (nearest) {
        return std::string("нет показания на ") + which +
               " периода, взято ближайшее: " + At(reading->moment);
    }
    return reading->fromDaily ? std::string(which) + " по суточному архиву" : "";
}

}  // namespace

std::string FormatReportTime(TDateTime time) {
    return FormatDateTime("dd'.'mm'.'yyyy hh':'nn", time);
}

std::string FormatReportVolume(double m3) {
    char text[64];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, m3, std::chars_format::fixed, 3);
    return error == std::errc() ? std::string(text, end) : std::string();
}

MeterConsumption ComputeConsumption(const MeterHistory& history, QDate from, QDate to) {
    MeterConsumption m;
    const int64_t first = from.toJulianDay() * kHoursADay;
    const int64_t last = (to.toJulianDay() + 1) * kHoursADay;
    std::tie(m.hoursWithRecord, m.hoursAbnormal) = Hours(history, first, last);
    m.hoursWithout = static_cast<int>(last - first) - m.hoursWithRecord;
    m.journalEvents = history.journalEvents;
    for (QDate d = from; d <= to; d = d.addDays(1)) {
        m.days.push_back(Day(history, d));
    }

    // The period's own hourly records, for a reading that stands in.
    const auto [lo, hi] = Within(history.hourly, first + 1, last);
    std::optional<Reading> start = Exact(history, first);
    std::optional<Reading> end = Exact(history, last);
    const bool startNearest = !start;
    const bool endNearest = !end;
    if (!start) {
        const auto r = std::find_if(lo, hi, IsNumber);
        if (r != hi) {
            start = ReadingOf(*r, false);
        }
    }
    if (!end) {
        const auto r =
            std::find_if(std::make_reverse_iterator(hi), std::make_reverse_iterator(lo), IsNumber);
        if (r != std::make_reverse_iterator(lo)) {
            end = ReadingOf(*r, false);
        }
    }
    if (start) {
        m.start = Shown(*start);
    }
    if (end) {
        m.end = Shown(*end);
    }
    if (lo == hi && !end) {
        m.remark = "нет записей за период";
        return m;
    }

    std::vector<std::string> clauses = {ReadingRemark(start, startNearest, "начало"),
                                        ReadingRemark(end, endNearest, "конец")};
    if (start && end) {
        std::optional<std::string> doubt;
        if (start->moment == end->moment) {
            doubt = "за период одно показание";
        } else if (!(doubt = Repeated(history, first, last))) {
            doubt = Break(history, *start, *end);
        }
        if (doubt) {
            clauses.push_back(*doubt + ": расход не определён");
        } else {
            m.vPlus = Rounded(m.end->vPlus - m.start->vPlus);
            m.vMinus = Rounded(m.end->vMinus - m.start->vMinus);
        }
    }
    for (const std::string& clause : clauses) {
        if (!clause.empty()) {
            m.remark += (m.remark.empty() ? "" : "; ") + clause;
        }
    }
    return m;
}

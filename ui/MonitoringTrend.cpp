#include "MonitoringTrend.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace zqui {

void MonitoringTrend::Append(double steadySeconds, double epochSeconds,
                             const CurrentParamsStruct& params) {
    if (seconds.empty()) {
        startSteady = steadySeconds;
        startEpoch = epochSeconds;
        firstVd = params.Vd;
    }
    const double x = seconds.empty() ? 0 : std::max(seconds.back(), steadySeconds - startSteady);
    if (std::abs(epochSeconds - x - startEpoch) > kClockStepSeconds) {
        startEpoch = epochSeconds - x;
    }
    const uint8_t bits = params.NSFlags & 0x0F;
    const uint8_t before = flags.empty() ? 0 : flags.back();
    const uint8_t up = static_cast<uint8_t>(bits & ~before);
    if (up != 0) {
        raised.emplace_back(static_cast<uint32_t>(seconds.size()), up);
        raisedBits |= up;
    }
    seconds.push_back(x);
    g.push_back(params.G);
    vdIncrease.push_back(params.Vd - firstVd);
    flags.push_back(bits);
}

size_t MonitoringTrend::Nearest(double x) const {
    if (seconds.empty()) {
        return 0;
    }
    const auto it = std::lower_bound(seconds.begin(), seconds.end(), x);
    if (it == seconds.end()) {
        return seconds.size() - 1;
    }
    const size_t i = static_cast<size_t>(it - seconds.begin());
    return i > 0 && x - seconds[i - 1] < seconds[i] - x ? i - 1 : i;
}

size_t MonitoringTrend::MemoryBytes() const {
    return seconds.capacity() * sizeof(double) + g.capacity() * sizeof(float) +
           vdIncrease.capacity() * sizeof(double) + flags.capacity() +
           raised.capacity() * sizeof(raised[0]);
}

void MonitoringTrend::Decimate(TrendCurve curve, double from, double to, int columns,
                               std::vector<TrendXY>& out) const {
    out.clear();
    if (seconds.empty() || columns < 1 || !(to > from)) {
        return;
    }
    auto value = [&](size_t i) {
        return curve == TrendCurve::G ? static_cast<double>(g[i]) : vdIncrease[i];
    };
    auto emit = [&](size_t i) {
        if (std::isfinite(value(i))) {
            out.push_back({seconds[i], value(i)});
        }
    };
    const size_t lo = static_cast<size_t>(std::lower_bound(seconds.begin(), seconds.end(), from) -
                                          seconds.begin());
    const size_t hi =
        static_cast<size_t>(std::upper_bound(seconds.begin(), seconds.end(), to) - seconds.begin());
    out.reserve(std::min<size_t>(hi - lo, 4 * static_cast<size_t>(columns)) + 2);
    if (lo > 0) {
        emit(lo - 1);
    }
    const double perColumn = (to - from) / columns;
    // The first, lowest, highest and last finite cycle of the column.
    size_t first = 0, low = 0, high = 0, last = 0;
    bool any = false;
    int column = -1;
    auto flush = [&] {
        if (!any) {
            return;
        }
        size_t picked[4] = {first, low, high, last};
        std::sort(picked, picked + 4);
        for (int k = 0; k < 4; ++k) {
            if (k == 0 || picked[k] != picked[k - 1]) {
                out.push_back({seconds[picked[k]], value(picked[k])});
            }
        }
        any = false;
    };
    for (size_t i = lo; i < hi; ++i) {
        const double v = value(i);
        if (!std::isfinite(v)) {
            continue;
        }
        const int c = std::min(columns - 1, static_cast<int>((seconds[i] - from) / perColumn));
        if (c != column) {
            flush();
            column = c;
        }
        if (!any) {
            first = low = high = i;
            any = true;
        }
        if (v < value(low)) {
            low = i;
        }
        if (v > value(high)) {
            high = i;
        }
        last = i;
    }
    flush();
    if (hi < seconds.size()) {
        emit(hi);
    }
}

void MonitoringTrend::Raisings(int bit, double from, double to, int columns,
                               std::vector<double>& out) const {
    out.clear();
    if (bit < 0 || bit > 3 || columns < 1 || !(to > from)) {
        return;
    }
    const auto start = std::lower_bound(
        raised.begin(), raised.end(), from,
        [this](const std::pair<uint32_t, uint8_t>& r, double x) { return seconds[r.first] < x; });
    const double perColumn = (to - from) / columns;
    int column = -1;
    for (auto it = start; it != raised.end() && seconds[it->first] <= to; ++it) {
        if (!((it->second >> bit) & 1)) {
            continue;
        }
        const double x = seconds[it->first];
        const int c = std::min(columns - 1, static_cast<int>((x - from) / perColumn));
        if (c != column) {
            out.push_back(x);
            column = c;
        }
    }
}

TDateTime LocalDateTime(double epochSeconds) {
    if (!std::isfinite(epochSeconds)) {
        return 0;
    }
    const double whole = std::floor(epochSeconds);
    const std::time_t t = static_cast<std::time_t>(whole);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) {
        return 0;
    }
    TDateTime date = 0, time = 0;
    TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, date);
    const int ms = std::min(999, static_cast<int>((epochSeconds - whole) * 1000));
    TryEncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), ms, time);
    return date + time;
}

namespace {

// Days from 30 December 1899 to 1 January 1970.
constexpr double kUnixEpochDays = 25569;

// Round steps of the time axis, seconds.
constexpr double kTickSteps[] = {
    1,    2,    5,    10,    15,    30,    60,    120,       300,       600,        900,
    1800, 3600, 7200, 10800, 21600, 43200, 86400, 2 * 86400, 7 * 86400, 14 * 86400, 28 * 86400};

}  // namespace

std::vector<TrendTick> TrendTimeTicks(double startEpoch, double from, double to, int maxTicks) {
    std::vector<TrendTick> ticks;
    if (!(to > from) || maxTicks < 1 || !std::isfinite(startEpoch)) {
        return ticks;
    }
    const double span = to - from;
    double step = kTickSteps[std::size(kTickSteps) - 1];
    for (double s : kTickSteps) {
        if (span / s <= maxTicks) {
            step = s;
            break;
        }
    }
    while (span / step > maxTicks) {
        step *= 2;
    }
    // Local seconds = system seconds + the zone's offset at the view's start,
    // so that steps fall on round local times.
    const double e0 = startEpoch + from;
    const double offset = (LocalDateTime(e0) - kUnixEpochDays) * 86400 - e0;
    const bool manyDays =
        std::floor(LocalDateTime(e0)) != std::floor(LocalDateTime(startEpoch + to));
    for (double t = std::ceil((e0 + offset) / step - 1e-9) * step;
         t <= startEpoch + to + offset + 1e-9; t += step) {
        const double x = t - offset - startEpoch;
        const TDateTime local = LocalDateTime(startEpoch + x);
        const char* pattern = "dd/mm/yy";
        if (step < 60) {
            pattern = "hh:nn:ss";
        } else if (step < 86400) {
            pattern = manyDays ? "dd/mm hh:nn" : "hh:nn";
        }
        ticks.push_back({x, FormatDateTime(pattern, local)});
    }
    return ticks;
}

}  // namespace zqui

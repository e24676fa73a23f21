#pragma once

#include "CurrentParamsStruct.h"
#include "DateTime.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What the monitoring chart draws: every cycle of one monitoring run (no
// widget or chart type here, so it is tested on its own).
//
// A cycle costs 21 bytes in four arrays (its time, G, the increase of V+
// and the flags), so 24 hours at a 2 s pause (43,200 cycles) hold under a
// megabyte. The chart never draws them all: Decimate gives at most four
// points per pixel column of the plot.
//
// A cycle's place on the time axis comes from a steady clock (seconds since
// the run's first cycle), so that a PC clock set back or forward never
// stacks cycles on one x or opens a gap. The system clock (seconds since
// 1970, UTC, so that summer time does not fold the trend) gives only the
// labels, shown in local time: StartEpoch() is the system time of the first
// cycle as the PC's clock reads now, so after the clock has been set the
// whole axis is labelled by the clock as set.
namespace zqui {

struct TrendXY {
    double x = 0;  // seconds since the run's first cycle
    double y = 0;
};

enum class TrendCurve {
    G,           // flow, m3/h
    VdIncrease,  // V+ minus V+ of the first cycle, m3
};

class MonitoringTrend {
public:
    // One cycle read at `steadySeconds` of a steady clock (any origin) and
    // `epochSeconds` of the system clock. When the system clock has moved
    // against the steady one by more than kClockStepSeconds (it was set),
    // the labels follow it from then on.
    void Append(double steadySeconds, double epochSeconds, const CurrentParamsStruct& params);

    size_t Size() const { return seconds.size(); }
    bool Empty() const { return seconds.empty(); }
    // The system time of x = 0 by the PC's clock as it was last read.
    double StartEpoch() const { return startEpoch; }
    double Seconds(size_t i) const { return seconds[i]; }
    float G(size_t i) const { return g[i]; }
    double VdIncrease(size_t i) const { return vdIncrease[i]; }
    uint8_t Flags(size_t i) const { return flags[i]; }
    // The flags raised at least once in the run, bits 0..3.
    uint8_t RaisedBits() const { return raisedBits; }

    // The cycle nearest to `x` (seconds since the first); Size() when empty.
    size_t Nearest(double x) const;
    // Bytes the arrays hold (their capacities).
    size_t MemoryBytes() const;

    // The points of `curve` to draw over [from, to] (seconds since the first
    // cycle) on a plot `columns` pixels wide: of the cycles of each column
    // the first, the lowest, the highest and the last, in time order, so
    // every peak and dip stays; and the cycle just before `from` and the one
    // just after `to`, so the line runs on to the plot's edges. Values that
    // are not finite (a device that sent no number) are left out.
    void Decimate(TrendCurve curve, double from, double to, int columns,
                  std::vector<TrendXY>& out) const;
    // Where flag `bit` (0..3) was raised within [from, to]: the cycles in
    // which it is set and was clear in the cycle before (or set in the
    // first), at most one per pixel column (its first). Seconds since the
    // first cycle.
    void Raisings(int bit, double from, double to, int columns, std::vector<double>& out) const;

    // Drift between the two clocks below this is not a setting of the
    // clock (it would move every label a little with each cycle).
    static constexpr double kClockStepSeconds = 1;

private:
    double startSteady = 0;
    double startEpoch = 0;
    double firstVd = 0;
    std::vector<double> seconds;
    std::vector<float> g;
    std::vector<double> vdIncrease;
    std::vector<uint8_t> flags;
    // Cycles in which some flag was raised: (index, bits raised).
    std::vector<std::pair<uint32_t, uint8_t>> raised;
    uint8_t raisedBits = 0;
};

// Local date and time of a moment of the system clock, as a day count.
TDateTime LocalDateTime(double epochSeconds);

// Labels of the time axis over [from, to] seconds after `startEpoch`: at
// round steps of the local clock (1 s up to a day and whole days), at most
// `maxTicks`. Texts "hh:nn:ss" when the step is under a minute, "hh:nn"
// under a day ("dd/mm hh:nn" when the view spans more than one day, so no
// two labels are alike), "dd/mm/yy" from a day on.
struct TrendTick {
    double x = 0;  // seconds since the first cycle
    std::string text;
};
std::vector<TrendTick> TrendTimeTicks(double startEpoch, double from, double to, int maxTicks);

}  // namespace zqui

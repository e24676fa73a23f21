// The monitoring trend's data: a day of cycles drawn as at most four points
// per pixel column without losing a peak, the flags' raisings, a clock set
// back, and time labels that a category axis can hold.
#include "MonitoringTrend.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

namespace {

using zqui::MonitoringTrend;
using zqui::TrendCurve;
using zqui::TrendXY;

constexpr double kStart = 1.8e9;  // seconds since 1970, in 2027
constexpr int kDay = 43200;       // cycles of 2 s in 24 hours

CurrentParamsStruct Cycle(float g, double vd, uint8_t flags = 0) {
    CurrentParamsStruct p;
    p.G = g;
    p.Vd = vd;
    p.NSFlags = flags;
    return p;
}

bool Contains(const std::vector<TrendXY>& points, double x, double y) {
    for (const TrendXY& p : points) {
        if (p.x == x && p.y == y) {
            return true;
        }
    }
    return false;
}

TEST(MonitoringTrend, ADayDrawsAsFourPointsAPixelAndKeepsItsPeaks) {
    MonitoringTrend trend;
    for (int i = 0; i < kDay; ++i) {
        float g = 20 + static_cast<float>(std::sin(i / 500.0));
        if (i == 20001) {
            g = 1000;  // one cycle's spike
        } else if (i == 30001) {
            g = -500;
        } else if (i == 777) {
            g = std::numeric_limits<float>::quiet_NaN();  // no number from the device
        }
        trend.Append(2.0 * i, kStart + 2.0 * i,
                     Cycle(g, 1000 + i * 0.01, i % 1000 < 10 ? 0x04 : 0x00));
    }
    ASSERT_EQ(trend.Size(), static_cast<size_t>(kDay));
    EXPECT_LT(trend.MemoryBytes(), 2u * 1024 * 1024);

    std::vector<TrendXY> points;
    const double last = trend.Seconds(trend.Size() - 1);
    trend.Decimate(TrendCurve::G, 0, last, 900, points);
    EXPECT_LE(points.size(), 4u * 900);
    EXPECT_TRUE(Contains(points, 2.0 * 20001, 1000));
    EXPECT_TRUE(Contains(points, 2.0 * 30001, -500));
    EXPECT_EQ(points.front().x, 0);
    EXPECT_EQ(points.back().x, last);
    for (size_t i = 1; i < points.size(); ++i) {
        ASSERT_LT(points[i - 1].x, points[i].x) << i;
        ASSERT_TRUE(std::isfinite(points[i].y)) << i;
    }

    // A zoomed view: every cycle in it, and one on each side to the edges.
    trend.Decimate(TrendCurve::VdIncrease, 1000, 1100, 900, points);
    ASSERT_EQ(points.size(), 51u + 2);
    EXPECT_EQ(points.front().x, 998);
    EXPECT_EQ(points.back().x, 1102);
    EXPECT_NEAR(points.back().y, 551 * 0.01, 1e-9);

    // "g < g_пор" raised every 1000 cycles: one mark each, fewer when the
    // columns are coarser than the raisings.
    std::vector<double> marks;
    trend.Raisings(2, 0, last, 900, marks);
    EXPECT_EQ(marks.size(), static_cast<size_t>(kDay / 1000 + 1));
    EXPECT_EQ(marks[1], 2000.0);
    trend.Raisings(2, 0, last, 10, marks);
    EXPECT_EQ(marks.size(), 10u);
    trend.Raisings(0, 0, last, 900, marks);
    EXPECT_TRUE(marks.empty());
    EXPECT_EQ(trend.RaisedBits(), 0x04);
}

// The PC's clock set back an hour, then forward a day, in the middle of a
// run: the cycles stay 2 s apart on the axis, and the labels follow the
// clock as it is set. A few hundred ms of drift move nothing.
TEST(MonitoringTrend, AClockSetMovesTheLabelsNotTheCycles) {
    const struct {
        double steady;
        double epoch;
        double startEpoch;  // x = 0 by the clock as read then
    } cycles[] = {
        {500, kStart, kStart},
        {502, kStart + 2.4, kStart},              // drift
        {504, kStart + 4 - 3600, kStart - 3600},  // an hour back
        {506, kStart + 6 - 3600, kStart - 3600},
        {508, kStart + 8 + 86400, kStart + 86400},  // a day forward
    };
    MonitoringTrend trend;
    for (size_t i = 0; i < std::size(cycles); ++i) {
        trend.Append(cycles[i].steady, cycles[i].epoch, Cycle(1, 10 + i, i == 3 ? 0x01 : 0x00));
        EXPECT_EQ(trend.Seconds(i), 2.0 * i) << i;
        EXPECT_EQ(trend.StartEpoch(), cycles[i].startEpoch) << i;
    }
    EXPECT_EQ(trend.VdIncrease(4), 4);
    std::vector<double> marks;
    trend.Raisings(0, 0, 8, 100, marks);
    EXPECT_EQ(marks, (std::vector<double>{6}));
    EXPECT_EQ(trend.Nearest(4.9), 2u);
    EXPECT_EQ(trend.Nearest(5.1), 3u);
}

// Every span from a minute to a month: labels inside the view, at most as
// many as asked, and no two alike (a category axis keeps one per text).
TEST(MonitoringTrend, TimeLabelsAreFewInViewAndDistinct) {
    for (double span : {40.0, 600.0, 3600.0, 86400.0, 3 * 86400.0, 30 * 86400.0}) {
        SCOPED_TRACE(span);
        const std::vector<zqui::TrendTick> ticks = zqui::TrendTimeTicks(kStart, 7, 7 + span, 8);
        EXPECT_GE(ticks.size(), 2u);
        EXPECT_LE(ticks.size(), 8u);
        std::set<std::string> texts;
        for (const zqui::TrendTick& tick : ticks) {
            EXPECT_GE(tick.x, 7);
            EXPECT_LE(tick.x, 7 + span);
            texts.insert(tick.text);
        }
        EXPECT_EQ(texts.size(), ticks.size());
    }
}

}  // namespace

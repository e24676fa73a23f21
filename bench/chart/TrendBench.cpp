// zq_trend_bench: the monitoring trend of 24 hours at a 2 s pause (43,200
// cycles) on a chart of 900 x 250, offscreen. Prints the memory the cycles
// take (and so its growth per hour of monitoring), the drawing of the whole
// day (target: under 100 ms, so the window stays smooth at a cycle every
// 2 s), one more cycle appended and drawn, one zoom step and one scroll
// step, and the last hour of the day appended cycle by cycle as the window
// does it (time per cycle, growth of the process' resident memory).
//
//   zq_trend_bench [--cycles N] [--png FILE]
//
// --png keeps the last drawing of the chart.
#include "MonitoringChart.h"
#include "MonitoringTrend.h"

#include "ChartTiming.h"

#include <QApplication>
#include <QLineSeries>
#include <QPixmap>

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using chart_timing::Clock;
using chart_timing::Draw;
using chart_timing::MedianMs;
using chart_timing::MsSince;

constexpr int kChartWidth = 900;
constexpr int kChartHeight = 250;
constexpr int kRuns = 7;
constexpr double kTargetMs = 100;
constexpr double kPause = 2;  // seconds between cycles
constexpr int kCyclesPerHour = static_cast<int>(3600 / kPause);
constexpr double kStartEpoch = 1.8e9;

// Resident memory of the process, bytes.
double ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

// Cycle `i`: a flow that wanders about 20 m3/h with noise, V+ growing by
// it, "g < g_пор" raised for a minute every few hours.
CurrentParamsStruct CycleParams(int i, double& vd) {
    static uint32_t seed = 12345;
    seed = seed * 1103515245u + 12345u;
    const double noise = ((seed >> 16) % 1000) / 1000.0 - 0.5;
    CurrentParamsStruct p;
    p.G = static_cast<float>(20 + 5 * std::sin(i / 3000.0) + noise);
    vd += p.G * kPause / 3600;
    p.Vd = vd;
    p.NSFlags = i % 5000 < 30 ? 0x04 : 0x00;
    return p;
}

void Line(const char* what, double ms) {
    std::printf("  %-46s %9.2f ms\n", what, ms);
}

}  // namespace

int main(int argc, char** argv) {
    int count = 24 * kCyclesPerHour;
    std::string png;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--cycles" && i + 1 < argc) {
            count = std::clamp(std::atoi(argv[++i]), kCyclesPerHour + 1, 10000000);
        } else if (arg == "--png" && i + 1 < argc) {
            png = argv[++i];
        } else {
            std::fprintf(stderr, "usage: zq_trend_bench [--cycles N] [--png FILE]\n");
            return 2;
        }
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    TMonitoringChart chart;
    chart.resize(kChartWidth, kChartHeight);
    chart.show();
    QApplication::processEvents();
    std::printf("zq_trend_bench: %d cycles (%.1f h at a %.0f s pause); chart %d x %d px\n", count,
                count / static_cast<double>(kCyclesPerHour), kPause, chart.width(), chart.height());

    // The cycles alone.
    std::vector<CurrentParamsStruct> cycles;
    cycles.reserve(static_cast<size_t>(count));
    double vd = 1000;
    for (int i = 0; i < count; ++i) {
        cycles.push_back(CycleParams(i, vd));
    }
    const double residentBefore = ResidentBytes();
    zqui::MonitoringTrend trend;
    Clock::time_point start = Clock::now();
    for (int i = 0; i < count; ++i) {
        trend.Append(kPause * i, kStartEpoch + kPause * i, cycles[static_cast<size_t>(i)]);
    }
    const double appendMs = MsSince(start);
    const double trendBytes = static_cast<double>(trend.MemoryBytes());
    const double residentTrend = ResidentBytes() - residentBefore;

    std::vector<zqui::TrendXY> points;
    const double last = trend.Seconds(trend.Size() - 1);
    const double decimateMs =
        MedianMs(kRuns, [&] { trend.Decimate(zqui::TrendCurve::G, 0, last, kChartWidth, points); });

    // The whole day on the chart.
    start = Clock::now();
    chart.ShowTrend(trend);
    const double coldShowMs = MsSince(start);
    start = Clock::now();
    QPixmap drawn = Draw(&chart);
    const double coldDrawMs = MsSince(start);
    const double showMs = MedianMs(kRuns, [&] { chart.ShowTrend(trend); });
    const double drawMs = MedianMs(kRuns, [&] { drawn = Draw(&chart); });
    const int drawnPoints = static_cast<int>(chart.GLine()->count());

    int next = count;
    const double cycleMs = MedianMs(kRuns, [&] {
        chart.AppendCycle(kPause * next, kStartEpoch + kPause * next, CycleParams(next, vd));
        ++next;
        drawn = Draw(&chart);
    });
    const double middle = (chart.ViewFrom() + chart.ViewTo()) / 2;
    const double zoomMs = MedianMs(kRuns, [&] {
        chart.ZoomBy(0.8, middle);
        drawn = Draw(&chart);
    });
    const double scrollMs = MedianMs(kRuns, [&] {
        chart.ScrollBy((chart.ViewTo() - chart.ViewFrom()) * -0.1);
        drawn = Draw(&chart);
    });
    chart.ResetZoom();

    // The day's last hour as the window takes it: one AppendCycle per cycle
    // onto the first 23 hours, the whole run in view.
    zqui::MonitoringTrend firstHours;
    for (int i = 0; i < count - kCyclesPerHour; ++i) {
        firstHours.Append(kPause * i, kStartEpoch + kPause * i, cycles[static_cast<size_t>(i)]);
    }
    chart.ShowTrend(std::move(firstHours));
    drawn = Draw(&chart);
    const double residentHourBefore = ResidentBytes();
    start = Clock::now();
    for (int i = count - kCyclesPerHour; i < count; ++i) {
        chart.AppendCycle(kPause * i, kStartEpoch + kPause * i, cycles[static_cast<size_t>(i)]);
    }
    const double hourMs = MsSince(start);
    const double residentHour = ResidentBytes() - residentHourBefore;
    drawn = Draw(&chart);
    if (!png.empty()) {
        drawn.save(QString::fromStdString(png));
    }

    std::printf(
        "  memory of the cycles: %.0f bytes (%.1f a cycle), %.1f KiB an hour, "
        "%.2f MiB a day\n",
        trendBytes, trendBytes / count, trendBytes / count * kCyclesPerHour / 1024,
        trendBytes / count * 24 * kCyclesPerHour / 1048576);
    std::printf("  resident memory grown by filling them: %.2f MiB\n", residentTrend / 1048576);
    Line("appending every cycle to the trend (all)", appendMs);
    Line("decimation of G to 900 columns", decimateMs);
    std::printf("  %d points drawn for G\n", drawnPoints);
    Line("whole day shown (ShowTrend), first", coldShowMs);
    Line("drawing into a pixmap (grab), first", coldDrawMs);
    Line("whole day shown (ShowTrend)", showMs);
    Line("drawing into a pixmap (grab)", drawMs);
    const double warm = showMs + drawMs;
    std::printf("  %-46s %9.2f ms  target < %.0f ms: %s\n", "whole day shown and drawn", warm,
                kTargetMs, warm < kTargetMs ? "met" : "MISSED");
    std::printf("  %-46s %9.2f ms  target < %.0f ms: %s\n", "one more cycle appended and drawn",
                cycleMs, kTargetMs, cycleMs < kTargetMs ? "met" : "MISSED");
    Line("zoom step x0.8 made again and drawn", zoomMs);
    Line("scroll step (10 %) made again and drawn", scrollMs);
    std::printf("  the day's last hour, %d cycles appended as the window does:\n", kCyclesPerHour);
    Line("  per cycle (without drawing)", hourMs / kCyclesPerHour);
    std::printf("    resident memory grown: %.2f MiB in that hour\n", residentHour / 1048576);
    return 0;
}

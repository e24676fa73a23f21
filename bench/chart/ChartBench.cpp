// zq_chart_bench: the consumption chart of an hourly archive of 65535
// records (the file's limit) with a few gaps, on an archive page offscreen.
// Prints the time of the series computation (records -> intervals), of one
// aggregation into bars, of the chart's update and of drawing it into a
// pixmap at 900 x 250 (its layout included; target: series + update + drawing under 300 ms), and
// of one zoom step and one scroll step (bars made again and drawn).
//
//   zq_chart_bench [--records N] [--png FILE]
//
// --png keeps the last drawing of the whole page (table and chart).
#include "ConsumptionChart.h"
#include "ConsumptionSeries.h"
#include "ZQArchive.h"

#include "ChartTiming.h"

#include <QApplication>
#include <QPixmap>
#include <QSplitter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace ZQ_namespace;

namespace {

using chart_timing::Clock;
using chart_timing::Draw;
using chart_timing::MedianMs;
using chart_timing::MsSince;

constexpr double kTargetMs = 300;
constexpr int kChartWidth = 900;
constexpr int kChartHeight = 250;
constexpr int kRuns = 7;

void PutFloat(uint8_t* field, float value) {
    std::memcpy(field, &value, sizeof value);
}

// `count` hourly records from 1 January 2019, newest first as the device
// sends them; V+ grows by 0..2 m3 an hour, V- now and then; five gaps of 3
// to 50 hours.
std::vector<ArchiveStruct> HourArchive(int count) {
    const int gapAt[] = {count / 6, count / 3, count / 2, 2 * count / 3, 5 * count / 6};
    const int gapHours[] = {3, 50, 7, 24, 12};
    std::vector<ArchiveStruct> list;
    list.reserve(static_cast<size_t>(count));
    TDateTime start = 0;
    TryEncodeDate(2019, 1, 1, start);
    int64_t hour = 0;
    double vPlus = 1000;
    double vMinus = 10;
    uint32_t seed = 12345;
    for (int i = 0; i < count; ++i) {
        for (int g = 0; g < 5; ++g) {
            if (i == gapAt[g]) {
                hour += gapHours[g];
            }
        }
        int year = 0, month = 0, day = 0;
        DecodeDate(start + static_cast<double>(hour / 24), year, month, day);
        ArchiveStruct record{};
        record.year = static_cast<uint8_t>(year - 2000);
        record.month = static_cast<uint8_t>(month);
        record.day = static_cast<uint8_t>(day);
        record.hour = static_cast<uint8_t>(hour % 24);
        seed = seed * 1103515245u + 12345u;
        vPlus += (seed >> 16) % 2000 / 1000.0;
        if (i % 97 == 0) {
            vMinus += 0.25;
        }
        PutFloat(record.vPlus, static_cast<float>(vPlus));
        PutFloat(record.vMinus, static_cast<float>(vMinus));
        list.push_back(record);
        ++hour;
    }
    std::reverse(list.begin(), list.end());
    return list;
}

void Line(const char* what, double ms) {
    std::printf("  %-44s %9.2f ms\n", what, ms);
}

}  // namespace

int main(int argc, char** argv) {
    int count = 65535;
    std::string png;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--records" && i + 1 < argc) {
            count = std::clamp(std::atoi(argv[++i]), 2, 65535);
        } else if (arg == "--png" && i + 1 < argc) {
            png = argv[++i];
        } else {
            std::fprintf(stderr, "usage: zq_chart_bench [--records N] [--png FILE]\n");
            return 2;
        }
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    const std::vector<ArchiveStruct> list = HourArchive(count);
    TArchiveFrame frame;
    frame.SetupColumns(akHour);
    frame.resize(kChartWidth, 700);
    frame.ArchiveSplitter->setSizes(
        {700 - kChartHeight - frame.ArchiveSplitter->handleWidth(), kChartHeight});
    frame.show();
    QApplication::processEvents();
    TConsumptionChart* chart = frame.ConsumptionChart;
    std::printf("zq_chart_bench: hourly archive of %d records, 5 gaps; chart %d x %d px\n", count,
                chart->width(), chart->height());

    zqui::ConsumptionSeries series;
    const double computeMs =
        MedianMs(kRuns, [&] { series = zqui::ComputeConsumption(list, akHour); });
    const int64_t from = series.points.front().slot;
    const int64_t to = series.points.back().slot + 1;
    const int64_t width = zqui::BucketWidthFor(akHour, static_cast<double>(to - from),
                                               kChartWidth / TConsumptionChart::kPixelsPerBar);
    std::vector<zqui::ConsumptionBucket> buckets;
    const double aggregateMs = MedianMs(
        kRuns, [&] { buckets = zqui::AggregateConsumption(series.points, from, to, width); });

    // Cold: the first series shown and drawn on the page; then warm runs.
    Clock::time_point start = Clock::now();
    chart->ShowSeries(zqui::ComputeConsumption(list, akHour));
    const double coldUpdateMs = MsSince(start);
    start = Clock::now();
    QPixmap drawn = Draw(chart);
    const double coldDrawMs = MsSince(start);
    const double updateMs = MedianMs(kRuns, [&] { chart->ShowSeries(series); });
    const double drawMs = MedianMs(kRuns, [&] { drawn = Draw(chart); });
    const double pageMs = MedianMs(3, [&] {
        frame.ShowArchive(list, akHour);
        drawn = Draw(chart);
    });

    const double middle = (chart->ViewFrom() + chart->ViewTo()) / 2;
    const double zoomMs = MedianMs(kRuns, [&] { chart->ZoomBy(0.8, middle); });
    const double zoomDrawMs = MedianMs(kRuns, [&] {
        chart->ZoomBy(0.8, middle);
        drawn = Draw(chart);
    });
    const double scrollMs = MedianMs(kRuns, [&] {
        chart->ScrollBy((chart->ViewTo() - chart->ViewFrom()) * -0.1);
        drawn = Draw(chart);
    });
    const size_t zoomedBars = chart->Buckets().size();
    const int64_t zoomedWidth = chart->BucketWidth();
    chart->ResetZoom();

    std::printf("  %zu intervals, %zu bars of %lld h over the whole list\n", series.points.size(),
                buckets.size(), static_cast<long long>(width));
    Line("series computation (ComputeConsumption)", computeMs);
    Line("aggregation into bars (AggregateConsumption)", aggregateMs);
    Line("chart update (ShowSeries), first", coldUpdateMs);
    Line("drawing into a pixmap (grab), first", coldDrawMs);
    Line("chart update (ShowSeries)", updateMs);
    Line("drawing into a pixmap (grab)", drawMs);
    Line("page ShowArchive (table + chart) and drawing", pageMs);
    const double first = computeMs + coldUpdateMs + coldDrawMs;
    const double warm = computeMs + updateMs + drawMs;
    std::printf("  %-44s %9.2f ms  target < %.0f ms: %s\n", "series + update + drawing, first",
                first, kTargetMs, first < kTargetMs ? "met" : "MISSED");
    std::printf("  %-44s %9.2f ms  target < %.0f ms: %s\n", "series + update + drawing", warm,
                kTargetMs, warm < kTargetMs ? "met" : "MISSED");
    std::printf("  zoom step x0.8 (%zu bars of %lld h at the end):\n", zoomedBars,
                static_cast<long long>(zoomedWidth));
    Line("  bars made again", zoomMs);
    Line("  bars made again and drawn", zoomDrawMs);
    Line("scroll step (10 %) made again and drawn", scrollMs);

    if (!png.empty()) {
        Draw(&frame).save(QString::fromStdString(png));
        std::printf("  page drawn to %s\n", png.c_str());
    }
    return first < kTargetMs && warm < kTargetMs ? 0 : 1;
}

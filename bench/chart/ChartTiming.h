#pragma once

#include <QApplication>
#include <QPixmap>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

// Timing of the chart benchmarks.
namespace chart_timing {

using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// What the window does before it paints: the chart's scene lays itself out
// on a posted event, then the widget is drawn.
inline QPixmap Draw(QWidget* widget) {
    QApplication::processEvents();
    return widget->grab();
}

// The median of `runs` calls of `work`, in ms.
inline double MedianMs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        work();
        times.push_back(MsSince(start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace chart_timing

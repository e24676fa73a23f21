#pragma once

#include "MonitoringTrend.h"
#include "ZoomChartView.h"

#include <array>
#include <utility>
#include <vector>

class QCategoryAxis;
class QGraphicsSimpleTextItem;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

// The trend of a monitoring run under the current-parameters page's groups:
// G (left axis) and the increase of V+ since the run's first cycle (right
// axis) over the time of the cycles, and a mark where an abnormal-situation
// flag was raised (one row of marks per flag, above the lines). It keeps
// every cycle of the run (MonitoringTrend) and draws at most four points per
// pixel column of the part in view, so a day of cycles draws as fast as a
// minute of them.
//
// The axis counts seconds since the run's first cycle on a steady clock,
// labelled by the PC's clock (MonitoringTrend); zoom and scroll as
// TZoomChartView says. While the whole run is in view the view grows with
// each cycle; a zoomed view stays where the user put it. Hovering the plot
// shows the nearest cycle's time, G, increase of V+ and raised flags.
class TMonitoringChart : public TZoomChartView {
    Q_OBJECT

public:
    explicit TMonitoringChart(QWidget* parent = nullptr);
    ~TMonitoringChart() override;

    // Forgets every cycle and frees their memory: no cycles, the whole
    // (empty) range in view, as a run starts.
    void Clear();
    // One cycle read at `steadySeconds` (a steady clock, for its place) and
    // `epochSeconds` (system clock seconds since 1970, for the labels).
    void AppendCycle(double steadySeconds, double epochSeconds, const CurrentParamsStruct& params);
    // Shows `trend` as the run so far, the whole of it in view (a day's
    // cycles at once, for the benchmark).
    void ShowTrend(zqui::MonitoringTrend trend);

    const zqui::MonitoringTrend& Trend() const { return FTrend; }
    // What the lines and marks draw now, for the tests.
    QLineSeries* GLine() const { return FGLine; }
    QLineSeries* VdLine() const { return FVdLine; }
    QScatterSeries* FlagMarks(int bit) const { return FFlagMarks[static_cast<size_t>(bit)]; }
    bool PlaceholderShown() const;

    // The tooltip of cycle `index`: its local time, G as the page shows it,
    // the increase of V+ and the flags set.
    QString CycleToolTip(size_t index) const;

    // The narrowest view, seconds.
    static constexpr double kMinViewSeconds = 30;

protected:
    bool HasData() const override { return !FTrend.Empty(); }
    // From the first cycle to the last, at least kMinViewSeconds.
    void DataRange(double& from, double& to) const override;
    double MinViewSpan() const override { return kMinViewSeconds; }
    void Rebuild() override;
    void HoverAt(const QPoint& viewPos) override;
    void changeEvent(QEvent* event) override;

private:
    void UpdateTimeAxis();
    void OnPlotAreaChanged(const QRectF& plotArea);
    void ApplyFonts();

    zqui::MonitoringTrend FTrend;
    bool FRebuilding = false;
    double FBuiltForWidth = 0;  // plot width the points and labels were made for
    double FBuiltForHeight = 0;
    std::vector<std::pair<QString, double>> FTimeLabels;  // on the time axis now

    QLineSeries* FGLine = nullptr;  // owned by the chart
    QLineSeries* FVdLine = nullptr;
    std::array<QScatterSeries*, 4> FFlagMarks{};
    QCategoryAxis* FTimeAxis = nullptr;
    QValueAxis* FGAxis = nullptr;
    QValueAxis* FVdAxis = nullptr;
    QValueAxis* FFlagAxis = nullptr;  // hidden: 0..1, the marks' rows at its top
    QGraphicsSimpleTextItem* FPlaceholder = nullptr;
};

// Shown in place of the lines until the run's first cycle has been read.
inline constexpr char kNoCycleText[] = "Ожидание первого цикла мониторинга";

#pragma once

#include "ConsumptionSeries.h"

#include <QChartView>

#include <vector>

class QBarSeries;
class QBarSet;
class QCategoryAxis;
class QGraphicsSimpleTextItem;
class QRubberBand;
class QValueAxis;

// The consumption chart under an archive page's table: the volume of each
// interval as bars (V+, and V- beside it when some V- increase is above
// zero), over a time axis. It draws a ConsumptionSeries and holds nothing
// else of the archive.
//
// The bars are buckets of whole intervals, at most one per 2 pixels of the
// plot's width: the intervals of a bucket are summed and the volume axis
// says over how many ("м³ за 6 ч"). The buckets are made again whenever the
// part in view or the plot's width changes, so a list of 65535 records draws
// a few hundred bars.
//
// The mouse and the keys, always over the part in view:
// - wheel: zoom in and out around the pointer; Shift+wheel or a horizontal
//   wheel scrolls;
// - left button dragged across the plot: zoom to the band dragged;
// - middle button, or Shift with the left button, dragged: scroll;
// - Left/Right, PageUp/PageDown, Home/End: scroll; +/-: zoom;
// - double click, or "Сбросить масштаб" in the context menu: the whole list.
// Hovering a bar shows its date (as the table writes it) and its volume.
class TConsumptionChart : public QChartView {
    Q_OBJECT

public:
    explicit TConsumptionChart(QWidget* parent = nullptr);
    ~TConsumptionChart() override;

    // Draws `series` over its whole range; no points shows the placeholder
    // text kNoChartDataText.
    void ShowSeries(zqui::ConsumptionSeries series);
    // No points, for the kind's axis titles.
    void Clear(ZQ_namespace::ArchiveKind kind);

    const zqui::ConsumptionSeries& Series() const { return FSeries; }
    // The bars drawn, left to right; the first and the last may lie partly
    // outside the view.
    const std::vector<zqui::ConsumptionBucket>& Buckets() const { return FBuckets; }
    int64_t BucketWidth() const { return FBucketWidth; }
    // Bar sets drawn: 0 with no points, 1 for V+, 2 for V+ and V-.
    int BarSetCount() const;
    bool PlaceholderShown() const;

    // The part in view, in slots: [ViewFrom, ViewTo).
    double ViewFrom() const { return FViewFrom; }
    double ViewTo() const { return FViewTo; }
    bool IsZoomed() const;
    // Kept inside the list's range and at least kMinViewSlots wide.
    void ZoomTo(double from, double to);
    // `factor` < 1 zooms in; `anchor` (a slot) keeps its place on the axis.
    void ZoomBy(double factor, double anchor);
    // `delta` in slots; positive moves later.
    void ScrollBy(double delta);
    void ResetZoom();

    // The tooltip of bar `bucket`: its date or dates and its volume.
    QString BarToolTip(int bucket) const;

    static constexpr double kMinViewSlots = 6;
    static constexpr int kPixelsPerBar = 2;

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void CreateBarSets();
    void Rebuild();
    void UpdateTimeAxis();
    void UpdateVolumeAxis();
    void OnPlotAreaChanged(const QRectF& plotArea);
    void ApplyFonts();
    int MaxBars() const;
    double SlotAt(const QPoint& viewPos) const;
    double PlotWidth() const;
    void DataRange(double& from, double& to) const;

    zqui::ConsumptionSeries FSeries;
    std::vector<zqui::ConsumptionBucket> FBuckets;
    int64_t FBucketWidth = 1;
    int64_t FFirstBucketSlot = 0;
    double FViewFrom = 0;
    double FViewTo = 1;
    int FBarsFor = 0;            // MaxBars() the buckets were made for
    double FTicksForWidth = 0;   // plot width the time labels were placed for
    double FTicksForHeight = 0;  // plot height the volume labels were placed for
    double FTop = 0;             // the highest bar, m3
    bool FRebuilding = false;

    QBarSeries* FBars = nullptr;  // owned by the chart
    QBarSet* FPlusSet = nullptr;  // owned by FBars
    QBarSet* FMinusSet = nullptr;
    QCategoryAxis* FTimeAxis = nullptr;
    QValueAxis* FVolumeAxis = nullptr;
    QGraphicsSimpleTextItem* FPlaceholder = nullptr;  // owned by the chart

    QRubberBand* FBand = nullptr;
    enum class Drag { None, Band, Scroll } FDrag = Drag::None;
    QPoint FDragStart;
    double FDragViewFrom = 0;
};

// Shown in place of the bars when a list gives no interval.
inline constexpr char kNoChartDataText[] = "Нет данных для графика";
inline constexpr char kResetZoomText[] = "Сбросить масштаб";

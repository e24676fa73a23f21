#pragma once

#include "ConsumptionSeries.h"
#include "ZoomChartView.h"

#include <vector>

class QBarSeries;
class QBarSet;
class QCategoryAxis;
class QGraphicsSimpleTextItem;
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
// The view's axis counts slots; zoom and scroll as TZoomChartView says.
// Hovering a bar shows its date (as the table writes it) and its volume.
class TConsumptionChart : public TZoomChartView {
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

    // The tooltip of bar `bucket`: its date or dates and its volume.
    QString BarToolTip(int bucket) const;

    static constexpr double kMinViewSlots = 6;
    static constexpr int kPixelsPerBar = 2;

protected:
    bool HasData() const override { return !FSeries.points.empty(); }
    // The list's slots, from its first interval to the end of its last.
    void DataRange(double& from, double& to) const override;
    double MinViewSpan() const override { return kMinViewSlots; }
    void Rebuild() override;
    void changeEvent(QEvent* event) override;

private:
    void CreateBarSets();
    void UpdateTimeAxis();
    void UpdateVolumeAxis();
    void OnPlotAreaChanged(const QRectF& plotArea);
    void ApplyFonts();
    int MaxBars() const;

    zqui::ConsumptionSeries FSeries;
    std::vector<zqui::ConsumptionBucket> FBuckets;
    int64_t FBucketWidth = 1;
    int64_t FFirstBucketSlot = 0;
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
};

// Shown in place of the bars when a list gives no interval.
inline constexpr char kNoChartDataText[] = "Нет данных для графика";

#include "MonitoringChart.h"

#include "TextFormat.h"

#include <QCategoryAxis>
#include <QChart>
#include <QCursor>
#include <QFontMetrics>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QLineSeries>
#include <QScatterSeries>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const QColor kGColor(0x2f, 0x6f, 0xb5);
const QColor kVdColor(0x3d, 0x8c, 0x40);

struct FlagLook {
    QColor color;
    QScatterSeries::MarkerShape shape;
};
const FlagLook kFlagLooks[4] = {
    {QColor(0xc6, 0x28, 0x28), QScatterSeries::MarkerShapeRotatedRectangle},
    {QColor(0x6a, 0x1b, 0x9a), QScatterSeries::MarkerShapeTriangle},
    {QColor(0xef, 0x8f, 0x00), QScatterSeries::MarkerShapeCircle},
    {QColor(0xad, 0x14, 0x57), QScatterSeries::MarkerShapeRectangle},
};
constexpr qreal kMarkSize = 9;
// The marks' rows on the hidden 0..1 axis, flag 1 on top; the lines' axes
// get this much room above their data while marks are in view.
constexpr double kMarkRowTop = 0.95;
constexpr double kMarkRowStep = 0.07;
constexpr double kMarkHeadroom = 0.45;

QString FlagCaption(int bit) {
    return QString::fromStdString(FormatText("%d.%s", bit + 1, kNSFlagNames[bit]));
}

// A round step (1, 2 or 5 times a power of ten), at most `maxSteps` of them
// over the data, the range widened to whole steps and by `headroom` of
// itself above; labels with as many decimals as the step needs.
void SetValueRange(QValueAxis* axis, double lo, double hi, int maxSteps, double headroom) {
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        lo = 0;
        hi = 1;
    }
    if (hi - lo < 1e-9) {
        const double pad = std::max(std::abs(hi) * 0.05, 0.001);
        lo -= pad;
        hi += pad;
    }
    // The room above the data takes its share of the steps too.
    const double rough = (hi - lo) * (1 + headroom) / maxSteps;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double fraction = rough / power;
    const double step = (fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10) * power;
    const double bottom = std::floor(lo / step + 1e-9) * step;
    const double top = std::ceil(hi / step - 1e-9) * step;
    const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 6);
    axis->setLabelFormat(QStringLiteral("%.") + QString::number(decimals) + QStringLiteral("f"));
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(bottom);
    axis->setTickInterval(step);
    axis->setRange(bottom, top + (top - bottom) * headroom);
}

QList<QPointF> ToPoints(const std::vector<zqui::TrendXY>& xy) {
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(xy.size()));
    for (const zqui::TrendXY& p : xy) {
        points.append(QPointF(p.x, p.y));
    }
    return points;
}

}  // namespace

TMonitoringChart::TMonitoringChart(QWidget* parent) : TZoomChartView(parent) {
    QChart* chart = this->chart();
    chart->legend()->setAlignment(Qt::AlignRight);
    viewport()->setMouseTracking(true);
    // A few thousand points at most: smooth lines cost little.
    setRenderHint(QPainter::Antialiasing, true);

    FTimeAxis = new QCategoryAxis(chart);
    FTimeAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    FTimeAxis->setTitleVisible(false);
    FGAxis = new QValueAxis(chart);
    FGAxis->setMinorTickCount(0);
    FGAxis->setTitleText(QStringLiteral("м³/ч"));
    FGAxis->setTitleBrush(kGColor);
    FVdAxis = new QValueAxis(chart);
    FVdAxis->setMinorTickCount(0);
    FVdAxis->setTitleText(QStringLiteral("м³"));
    FVdAxis->setTitleBrush(kVdColor);
    FVdAxis->setGridLineVisible(false);
    FFlagAxis = new QValueAxis(chart);
    FFlagAxis->setRange(0, 1);
    chart->addAxis(FTimeAxis, Qt::AlignBottom);
    chart->addAxis(FGAxis, Qt::AlignLeft);
    chart->addAxis(FVdAxis, Qt::AlignRight);
    chart->addAxis(FFlagAxis, Qt::AlignRight);
    FFlagAxis->setVisible(false);

    FGLine = new QLineSeries(chart);
    FGLine->setName(QStringLiteral("G, м³/ч"));
    FGLine->setPen(QPen(kGColor, 1.5));
    chart->addSeries(FGLine);
    FGLine->attachAxis(FTimeAxis);
    FGLine->attachAxis(FGAxis);
    FVdLine = new QLineSeries(chart);
    FVdLine->setName(QStringLiteral("Прирост V+, м³"));
    FVdLine->setPen(QPen(kVdColor, 1.5));
    chart->addSeries(FVdLine);
    FVdLine->attachAxis(FTimeAxis);
    FVdLine->attachAxis(FVdAxis);
    for (int bit = 0; bit < 4; ++bit) {
        auto* marks = new QScatterSeries(this);
        // The legend takes its names as rich text: "<" must be escaped.
        marks->setName(FlagCaption(bit).toHtmlEscaped());
        marks->setColor(kFlagLooks[bit].color);
        marks->setBorderColor(kFlagLooks[bit].color.darker(140));
        marks->setMarkerShape(kFlagLooks[bit].shape);
        marks->setMarkerSize(kMarkSize);
        // Put on the chart (and so in the legend) when the flag is first
        // raised in a run.
        FFlagMarks[static_cast<size_t>(bit)] = marks;
    }

    FPlaceholder = new QGraphicsSimpleTextItem(QString::fromUtf8(kNoCycleText), chart);
    connect(chart, &QChart::plotAreaChanged, this, &TMonitoringChart::OnPlotAreaChanged);
    ApplyFonts();
    Clear();
}

TMonitoringChart::~TMonitoringChart() = default;

void TMonitoringChart::Clear() {
    ShowTrend(zqui::MonitoringTrend());
}

void TMonitoringChart::ShowTrend(zqui::MonitoringTrend trend) {
    FTrend = std::move(trend);
    // The marks of the flags go back on the chart as they are raised.
    for (QScatterSeries* marks : FFlagMarks) {
        if (chart()->series().contains(marks)) {
            chart()->removeSeries(marks);
            marks->setParent(this);
        }
    }
    double from = 0, to = 0;
    DataRange(from, to);
    SetViewRange(from, to);
    Rebuild();
}

void TMonitoringChart::AppendCycle(double steadySeconds, double epochSeconds,
                                   const CurrentParamsStruct& params) {
    const bool following = !IsZoomed();
    FTrend.Append(steadySeconds, epochSeconds, params);
    if (following) {
        double from = 0, to = 0;
        DataRange(from, to);
        SetViewRange(from, to);
    }
    Rebuild();
    setAccessibleDescription(CycleToolTip(FTrend.Size() - 1));
}

bool TMonitoringChart::PlaceholderShown() const {
    return FPlaceholder->isVisible();
}

// A little room at both ends, so that the first and the last cycle's marks
// are not cut by the plot's edges.
void TMonitoringChart::DataRange(double& from, double& to) const {
    const double last = FTrend.Empty() ? 0 : FTrend.Seconds(FTrend.Size() - 1);
    const double pad = std::max(1.0, last * 0.01);
    from = -pad;
    to = std::max(kMinViewSeconds - pad, last + pad);
}

void TMonitoringChart::Rebuild() {
    FRebuilding = true;
    const QRectF plot = chart()->plotArea();
    FBuiltForWidth = plot.width();
    FBuiltForHeight = plot.height();
    const bool empty = FTrend.Empty();
    FPlaceholder->setVisible(empty);
    for (QAbstractAxis* axis :
         {static_cast<QAbstractAxis*>(FTimeAxis), static_cast<QAbstractAxis*>(FGAxis),
          static_cast<QAbstractAxis*>(FVdAxis)}) {
        axis->setVisible(!empty);
    }
    const double from = ViewFrom();
    const double to = ViewTo();
    const int columns = std::max(1, static_cast<int>(PlotWidth()));

    std::vector<zqui::TrendXY> g, vd;
    FTrend.Decimate(zqui::TrendCurve::G, from, to, columns, g);
    FTrend.Decimate(zqui::TrendCurve::VdIncrease, from, to, columns, vd);
    FGLine->replace(ToPoints(g));
    FVdLine->replace(ToPoints(vd));

    bool marksInView = false;
    std::vector<double> raisings;
    const int markColumns = std::max(1, static_cast<int>(PlotWidth() / kMarkSize));
    for (int bit = 0; bit < 4; ++bit) {
        FTrend.Raisings(bit, from, to, markColumns, raisings);
        QList<QPointF> marks;
        const double row = kMarkRowTop - kMarkRowStep * bit;
        for (double x : raisings) {
            marks.append(QPointF(x, row));
        }
        marksInView = marksInView || !marks.isEmpty();
        QScatterSeries* series = FFlagMarks[static_cast<size_t>(bit)];
        series->replace(marks);
        if (((FTrend.RaisedBits() >> bit) & 1) && !chart()->series().contains(series)) {
            chart()->addSeries(series);
            series->attachAxis(FTimeAxis);
            series->attachAxis(FFlagAxis);
        }
    }

    // The value axes fit what is in view; the lines stay under the marks.
    auto range = [](const std::vector<zqui::TrendXY>& points, double& lo, double& hi) {
        lo = INFINITY;
        hi = -INFINITY;
        for (const zqui::TrendXY& p : points) {
            lo = std::min(lo, p.y);
            hi = std::max(hi, p.y);
        }
    };
    const double height = plot.height() > 10 ? plot.height() : std::max(60, this->height() - 60);
    const double line = QFontMetrics(FGAxis->labelsFont()).height();
    const int maxSteps = std::clamp(static_cast<int>(height / (2 * line)), 1, 5);
    const double headroom = marksInView ? kMarkHeadroom : 0;
    double lo = 0, hi = 0;
    range(g, lo, hi);
    SetValueRange(FGAxis, lo, hi, maxSteps, headroom);
    range(vd, lo, hi);
    SetValueRange(FVdAxis, std::min(lo, 0.0), hi, maxSteps, headroom);
    UpdateTimeAxis();
    FRebuilding = false;
    OnPlotAreaChanged(chart()->plotArea());
}

void TMonitoringChart::UpdateTimeAxis() {
    const double from = ViewFrom();
    const double to = ViewTo();
    FTimeAxis->setRange(from, to);
    FTimeAxis->setStartValue(from - (to - from));
    std::vector<std::pair<QString, double>> labels;
    if (!FTrend.Empty()) {
        const double plotWidth = PlotWidth();
        const QFontMetrics metrics(FTimeAxis->labelsFont());
        const double labelPixels = metrics.horizontalAdvance(QStringLiteral("00/00 00:00")) + 24;
        const int maxTicks = std::max(1, static_cast<int>(plotWidth / labelPixels));
        const QRectF plot = chart()->plotArea();
        const double leftRoom = plot.width() > 10 ? plot.left() : 0;
        const double rightRoom = plot.width() > 10 ? chart()->size().width() - plot.right() : 0;
        for (const zqui::TrendTick& tick :
             zqui::TrendTimeTicks(FTrend.StartEpoch(), from, to, maxTicks)) {
            const QString text = QString::fromStdString(tick.text);
            const double pixel = (tick.x - from) / (to - from) * plotWidth;
            const double half = metrics.horizontalAdvance(text) / 2.0;
            // A label that would be cut at either end of the chart is left out.
            if (pixel - half >= -leftRoom && pixel + half <= plotWidth + rightRoom) {
                labels.emplace_back(text, tick.x);
            }
        }
    }
    // Each label taken off or put on lays the chart out again: a run that
    // grows by a cycle mostly keeps its labels.
    if (labels == FTimeLabels) {
        return;
    }
    for (const auto& label : FTimeLabels) {
        FTimeAxis->remove(label.first);
    }
    for (const auto& label : labels) {
        FTimeAxis->append(label.first, label.second);
    }
    FTimeLabels = std::move(labels);
}

void TMonitoringChart::OnPlotAreaChanged(const QRectF& plotArea) {
    const QRectF text = FPlaceholder->boundingRect();
    const QRectF area = FTrend.Empty() ? QRectF(QPointF(0, 0), chart()->size()) : plotArea;
    FPlaceholder->setPos(area.center() - text.center());
    if (FRebuilding || FTrend.Empty()) {
        return;
    }
    // Made again after the layout that reported the change, never inside it.
    if (std::abs(plotArea.width() - FBuiltForWidth) >= 2 ||
        std::abs(plotArea.height() - FBuiltForHeight) >= 2) {
        QMetaObject::invokeMethod(this, &TMonitoringChart::Rebuild, Qt::QueuedConnection);
    }
}

QString TMonitoringChart::CycleToolTip(size_t index) const {
    if (index >= FTrend.Size()) {
        return {};
    }
    const TDateTime local = zqui::LocalDateTime(FTrend.StartEpoch() + FTrend.Seconds(index));
    QString text = QString::fromStdString(FormatDateTime("dd/mm/yy hh:nn:ss", local));
    text += QStringLiteral("\nG: ") +
            QString::fromStdString(FormatText("%05.4f", static_cast<double>(FTrend.G(index)))) +
            QStringLiteral(" м³/ч");
    text += QStringLiteral("\nПрирост V+: ") +
            QString::fromStdString(FormatText("%.3f", FTrend.VdIncrease(index))) +
            QStringLiteral(" м³");
    for (int bit = 0; bit < 4; ++bit) {
        if ((FTrend.Flags(index) >> bit) & 1) {
            text += QStringLiteral("\n") + FlagCaption(bit);
        }
    }
    return text;
}

void TMonitoringChart::HoverAt(const QPoint& viewPos) {
    if (!HasData() || !PlotRect().contains(viewPos)) {
        QToolTip::hideText();
        return;
    }
    QToolTip::showText(QCursor::pos(), CycleToolTip(FTrend.Nearest(PositionAt(viewPos))), this);
}

void TMonitoringChart::changeEvent(QEvent* event) {
    TZoomChartView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        ApplyFonts();
        Rebuild();
    }
}

void TMonitoringChart::ApplyFonts() {
    const QFont font = this->font();
    for (QAbstractAxis* axis : chart()->axes()) {
        axis->setLabelsFont(font);
        axis->setTitleFont(font);
    }
    chart()->legend()->setFont(font);
    FPlaceholder->setFont(font);
}

#include "ConsumptionChart.h"

#include "RecordTexts.h"
#include "TextFormat.h"

#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFontMetrics>
#include <QGraphicsLayout>
#include <QGraphicsSimpleTextItem>
#include <QKeyEvent>
#include <QLegend>
#include <QMenu>
#include <QMouseEvent>
#include <QRubberBand>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>

using namespace ZQ_namespace;

namespace {

const QColor kPlusColor(0x2f, 0x6f, 0xb5);
const QColor kMinusColor(0xd9, 0x73, 0x1e);

// A drag shorter than this many pixels is a click, not a band to zoom to.
constexpr int kMinBandPixels = 4;
// Scroll steps as parts of the span in view.
constexpr double kArrowStep = 0.1;
constexpr double kPageStep = 0.9;
constexpr double kWheelZoom = 0.8;  // span factor per wheel notch
// The plot's width may change this much (as a part of the bars it holds)
// before the buckets are made again, so that a width that sits on a step
// between two bucket widths does not flip between them.
constexpr double kBarsHysteresis = 0.05;

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

QString VolumeText(double value) {
    return QString::fromStdString(FormatText("%.3f", value)) + QStringLiteral(" м³");
}

}  // namespace

// The view is given its chart at once: a view made without one makes its own,
// which setChart would release without deleting.
TConsumptionChart::TConsumptionChart(QWidget* parent) : QChartView(new QChart, parent) {
    QChart* chart = this->chart();
    chart->setBackgroundRoundness(0);
    // The chart is short (a third of the page): every pixel of height goes
    // to the plot, the legend stands on the right.
    chart->setMargins(QMargins(0, 4, 4, 0));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    setRenderHint(QPainter::Antialiasing, false);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumHeight(120);

    FBars = new QBarSeries(chart);
    FBars->setBarWidth(1.0);
    chart->addSeries(FBars);
    FTimeAxis = new QCategoryAxis(chart);
    FTimeAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    FTimeAxis->setTitleVisible(false);
    FVolumeAxis = new QValueAxis(chart);
    FVolumeAxis->setLabelFormat(QStringLiteral("%.10g"));
    FVolumeAxis->setMinorTickCount(0);
    chart->addAxis(FTimeAxis, Qt::AlignBottom);
    chart->addAxis(FVolumeAxis, Qt::AlignLeft);
    FBars->attachAxis(FTimeAxis);
    FBars->attachAxis(FVolumeAxis);

    FPlaceholder = new QGraphicsSimpleTextItem(QString::fromUtf8(kNoChartDataText), chart);
    FBand = new QRubberBand(QRubberBand::Rectangle, viewport());

    connect(FBars, &QBarSeries::hovered, this, [this](bool status, int index, QBarSet*) {
        if (status) {
            QToolTip::showText(QCursor::pos(), BarToolTip(index), this);
        } else {
            QToolTip::hideText();
        }
    });
    connect(chart, &QChart::plotAreaChanged, this, &TConsumptionChart::OnPlotAreaChanged);
    ApplyFonts();
    Clear(akHour);
}

TConsumptionChart::~TConsumptionChart() = default;

void TConsumptionChart::ShowSeries(zqui::ConsumptionSeries series) {
    FSeries = std::move(series);
    CreateBarSets();
    DataRange(FViewFrom, FViewTo);
    Rebuild();
}

void TConsumptionChart::Clear(ArchiveKind kind) {
    zqui::ConsumptionSeries empty;
    empty.kind = kind;
    ShowSeries(std::move(empty));
}

int TConsumptionChart::BarSetCount() const {
    return FBars->count();
}

bool TConsumptionChart::PlaceholderShown() const {
    return FPlaceholder->isVisible();
}

void TConsumptionChart::CreateBarSets() {
    FBars->clear();
    FPlusSet = nullptr;
    FMinusSet = nullptr;
    if (FSeries.points.empty()) {
        return;
    }
    FPlusSet = new QBarSet(QString::fromUtf8(kArchiveColumnNames[1]));
    FPlusSet->setColor(kPlusColor);
    FPlusSet->setPen(Qt::NoPen);
    FBars->append(FPlusSet);
    if (FSeries.hasVMinus) {
        FMinusSet = new QBarSet(QString::fromUtf8(kArchiveColumnNames[2]));
        FMinusSet->setColor(kMinusColor);
        FMinusSet->setPen(Qt::NoPen);
        FBars->append(FMinusSet);
    }
    chart()->legend()->setVisible(FMinusSet != nullptr);
}

// The list's slots, from its first interval to the end of its last, widened
// about its middle to kMinViewSlots.
void TConsumptionChart::DataRange(double& from, double& to) const {
    if (FSeries.points.empty()) {
        from = 0;
        to = 1;
        return;
    }
    from = static_cast<double>(FSeries.points.front().slot);
    to = static_cast<double>(FSeries.points.back().slot) + 1;
    if (to - from < kMinViewSlots) {
        const double middle = (from + to) / 2;
        from = middle - kMinViewSlots / 2;
        to = middle + kMinViewSlots / 2;
    }
}

double TConsumptionChart::PlotWidth() const {
    const double width = chart()->plotArea().width();
    // Before the chart's first layout the plot has no size yet.
    return width > 10 ? width : std::max(100, this->width() - 80);
}

int TConsumptionChart::MaxBars() const {
    return std::max(1, static_cast<int>(PlotWidth()) / kPixelsPerBar);
}

void TConsumptionChart::Rebuild() {
    FRebuilding = true;
    const bool empty = FSeries.points.empty();
    FPlaceholder->setVisible(empty);
    FTimeAxis->setVisible(!empty);
    FVolumeAxis->setVisible(!empty);
    FVolumeAxis->setTitleText(
        QString::fromStdString(zqui::VolumeAxisTitle(FSeries.kind, FBucketWidth)));
    if (empty) {
        FBuckets.clear();
        FBucketWidth = 1;
        FFirstBucketSlot = 0;
        FTimeAxis->setRange(0, 1);
        FVolumeAxis->setRange(0, 1);
        FRebuilding = false;
        OnPlotAreaChanged(chart()->plotArea());
        return;
    }

    FBarsFor = MaxBars();
    FBucketWidth = zqui::BucketWidthFor(FSeries.kind, FViewTo - FViewFrom, FBarsFor);
    FFirstBucketSlot =
        FloorDiv(static_cast<int64_t>(std::floor(FViewFrom)), FBucketWidth) * FBucketWidth;
    const int64_t end = static_cast<int64_t>(std::ceil(FViewTo));
    FBuckets = zqui::AggregateConsumption(FSeries.points, FFirstBucketSlot, end, FBucketWidth);

    QList<qreal> plus;
    QList<qreal> minus;
    plus.reserve(static_cast<qsizetype>(FBuckets.size()));
    minus.reserve(static_cast<qsizetype>(FBuckets.size()));
    double top = 0;
    for (const zqui::ConsumptionBucket& bucket : FBuckets) {
        plus.append(bucket.vPlus);
        minus.append(bucket.vMinus);
        top = std::max(top, bucket.vPlus);
        if (FMinusSet) {
            top = std::max(top, bucket.vMinus);
        }
    }
    // One change per set: a whole replacement costs what one append costs.
    FPlusSet->remove(0, FPlusSet->count());
    FPlusSet->append(plus);
    if (FMinusSet) {
        FMinusSet->remove(0, FMinusSet->count());
        FMinusSet->append(minus);
    }
    FVolumeAxis->setTitleText(
        QString::fromStdString(zqui::VolumeAxisTitle(FSeries.kind, FBucketWidth)));
    FTop = top;
    UpdateVolumeAxis();
    const double barPixels = PlotWidth() * FBucketWidth / (FViewTo - FViewFrom);
    FBars->setBarWidth(barPixels >= 8 ? 0.8 : 1.0);
    UpdateTimeAxis();
    FRebuilding = false;
}

// The time axis counts bars: bar i stands at i, so slot s is at
// (s - first) / width - 0.5. Its labels are the round boundaries in view.
void TConsumptionChart::UpdateTimeAxis() {
    const double plotWidth = PlotWidth();
    FTicksForWidth = chart()->plotArea().width();
    const QStringList labels = FTimeAxis->categoriesLabels();
    for (const QString& label : labels) {
        FTimeAxis->remove(label);
    }
    const double width = static_cast<double>(FBucketWidth);
    auto position = [&](double slot) {
        return (slot - static_cast<double>(FFirstBucketSlot)) / width - 0.5;
    };
    const double x0 = position(FViewFrom);
    const double x1 = position(FViewTo);
    FTimeAxis->setRange(x0, x1);
    FTimeAxis->setStartValue(x0 - 1);

    const QFontMetrics metrics(FTimeAxis->labelsFont());
    const bool withHours =
        FSeries.kind == akHour && FBucketWidth < 24 && (FViewTo - FViewFrom) < 24 * 8;
    const QString sample = FSeries.kind == akMonth ? QStringLiteral("00/00")
                           : withHours             ? QStringLiteral("00/00/00 00:00")
                                                   : QStringLiteral("00/00/00");
    const double labelPixels = metrics.horizontalAdvance(sample) + 24;
    const int maxTicks = std::max(1, static_cast<int>(plotWidth / labelPixels));
    const QRectF plot = chart()->plotArea();
    const double leftRoom = plot.width() > 10 ? plot.left() : 0;
    const double rightRoom = plot.width() > 10 ? chart()->size().width() - plot.right() : 0;
    for (const zqui::TimeTick& tick :
         zqui::TimeAxisTicks(FSeries.kind, FViewFrom, FViewTo, maxTicks)) {
        const double x = position(static_cast<double>(tick.slot));
        const double pixel = (x - x0) / (x1 - x0) * plotWidth;
        const double half = metrics.horizontalAdvance(QString::fromStdString(tick.text)) / 2.0;
        // A label that would be cut at either end of the chart is left out.
        if (pixel - half < -leftRoom || pixel + half > plotWidth + rightRoom) {
            continue;
        }
        FTimeAxis->append(QString::fromStdString(tick.text), x);
    }
}

// A round step (1, 2 or 5 times a power of ten) that leaves at least two
// text lines between labels, so that Qt Charts never elides them.
void TConsumptionChart::UpdateVolumeAxis() {
    const QRectF plot = chart()->plotArea();
    FTicksForHeight = plot.height();
    const double height = plot.height() > 10 ? plot.height() : std::max(60, this->height() - 60);
    const double line = QFontMetrics(FVolumeAxis->labelsFont()).height();
    const int maxSteps = std::clamp(static_cast<int>(height / (2 * line)), 1, 5);
    const double top = FTop > 0 && std::isfinite(FTop) ? FTop : 1;
    const double rough = top / maxSteps;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double fraction = rough / power;
    const double step = (fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10) * power;
    FVolumeAxis->setTickType(QValueAxis::TicksDynamic);
    FVolumeAxis->setTickAnchor(0);
    FVolumeAxis->setTickInterval(step);
    FVolumeAxis->setRange(0, std::ceil(top / step - 1e-9) * step);
}

void TConsumptionChart::OnPlotAreaChanged(const QRectF& plotArea) {
    const QRectF text = FPlaceholder->boundingRect();
    const QRectF area = FSeries.points.empty() ? QRectF(QPointF(0, 0), chart()->size()) : plotArea;
    FPlaceholder->setPos(area.center() - text.center());
    if (FRebuilding || FSeries.points.empty()) {
        return;
    }
    // Made again after the layout that reported the change, never inside it.
    const int bars = std::max(1, static_cast<int>(plotArea.width()) / kPixelsPerBar);
    const bool rebuild =
        std::abs(bars - FBarsFor) > FBarsFor * kBarsHysteresis &&
        zqui::BucketWidthFor(FSeries.kind, FViewTo - FViewFrom, bars) != FBucketWidth;
    if (rebuild) {
        QMetaObject::invokeMethod(this, &TConsumptionChart::Rebuild, Qt::QueuedConnection);
    } else {
        if (std::abs(plotArea.width() - FTicksForWidth) >= 1) {
            QMetaObject::invokeMethod(this, &TConsumptionChart::UpdateTimeAxis,
                                      Qt::QueuedConnection);
        }
        if (std::abs(plotArea.height() - FTicksForHeight) >= 1) {
            QMetaObject::invokeMethod(this, &TConsumptionChart::UpdateVolumeAxis,
                                      Qt::QueuedConnection);
        }
    }
}

bool TConsumptionChart::IsZoomed() const {
    double from = 0, to = 0;
    DataRange(from, to);
    return !FSeries.points.empty() &&
           (std::abs(FViewFrom - from) > 1e-6 || std::abs(FViewTo - to) > 1e-6);
}

void TConsumptionChart::ZoomTo(double from, double to) {
    if (FSeries.points.empty() || !std::isfinite(from) || !std::isfinite(to)) {
        return;
    }
    if (to < from) {
        std::swap(from, to);
    }
    double lo = 0, hi = 0;
    DataRange(lo, hi);
    const double span = std::clamp(to - from, std::min(kMinViewSlots, hi - lo), hi - lo);
    const double middle = (from + to) / 2;
    from = std::clamp(middle - span / 2, lo, hi - span);
    if (std::abs(from - FViewFrom) < 1e-9 && std::abs(from + span - FViewTo) < 1e-9) {
        return;
    }
    FViewFrom = from;
    FViewTo = from + span;
    Rebuild();
}

void TConsumptionChart::ZoomBy(double factor, double anchor) {
    const double from = anchor - (anchor - FViewFrom) * factor;
    const double to = anchor + (FViewTo - anchor) * factor;
    // Keep the anchor's place when the span hits its limit.
    double lo = 0, hi = 0;
    DataRange(lo, hi);
    const double span = std::clamp(to - from, std::min(kMinViewSlots, hi - lo), hi - lo);
    const double share = FViewTo > FViewFrom ? (anchor - FViewFrom) / (FViewTo - FViewFrom) : 0.5;
    const double start = anchor - share * span;
    ZoomTo(start, start + span);
}

void TConsumptionChart::ScrollBy(double delta) {
    ZoomTo(FViewFrom + delta, FViewTo + delta);
}

void TConsumptionChart::ResetZoom() {
    double from = 0, to = 0;
    DataRange(from, to);
    ZoomTo(from, to);
}

QString TConsumptionChart::BarToolTip(int bucket) const {
    if (bucket < 0 || static_cast<size_t>(bucket) >= FBuckets.size()) {
        return {};
    }
    const zqui::ConsumptionBucket& b = FBuckets[static_cast<size_t>(bucket)];
    QString text = QString::fromStdString(zqui::SlotText(FSeries.kind, b.firstSlot));
    if (b.slotCount > 1) {
        text += QStringLiteral(" – ") +
                QString::fromStdString(zqui::SlotText(FSeries.kind, b.firstSlot + b.slotCount - 1));
    }
    text += QStringLiteral("\nV+: ") + VolumeText(b.vPlus);
    if (FMinusSet) {
        text += QStringLiteral("\nV-: ") + VolumeText(b.vMinus);
    }
    if (b.intervals < b.slotCount) {
        text +=
            QStringLiteral("\nинтервалов с данными: %1 из %2").arg(b.intervals).arg(b.slotCount);
    }
    return text;
}

double TConsumptionChart::SlotAt(const QPoint& viewPos) const {
    const QPointF at = chart()->mapFromScene(mapToScene(viewPos));
    const QRectF plot = chart()->plotArea();
    if (plot.width() <= 0) {
        return (FViewFrom + FViewTo) / 2;
    }
    return FViewFrom + (at.x() - plot.left()) / plot.width() * (FViewTo - FViewFrom);
}

void TConsumptionChart::wheelEvent(QWheelEvent* event) {
    if (FSeries.points.empty()) {
        event->ignore();
        return;
    }
    const QPoint angle = event->angleDelta();
    const double span = FViewTo - FViewFrom;
    if (angle.x() != 0 || (event->modifiers() & Qt::ShiftModifier)) {
        const double notches = (angle.x() != 0 ? angle.x() : angle.y()) / 120.0;
        ScrollBy(-notches * span * kArrowStep);
    } else {
        ZoomBy(std::pow(kWheelZoom, angle.y() / 120.0), SlotAt(event->position().toPoint()));
    }
    event->accept();
}

void TConsumptionChart::mousePressEvent(QMouseEvent* event) {
    const QRect plot = mapFromScene(chart()->mapToScene(chart()->plotArea())).boundingRect();
    const QPoint at = event->position().toPoint();
    if (!FSeries.points.empty() && plot.contains(at)) {
        const bool shift = event->modifiers() & Qt::ShiftModifier;
        if (event->button() == Qt::LeftButton && !shift) {
            FDrag = Drag::Band;
        } else if (event->button() == Qt::MiddleButton ||
                   (event->button() == Qt::LeftButton && shift)) {
            FDrag = Drag::Scroll;
            setCursor(Qt::ClosedHandCursor);
        }
        if (FDrag != Drag::None) {
            FDragStart = at;
            FDragViewFrom = FViewFrom;
            event->accept();
            return;
        }
    }
    QChartView::mousePressEvent(event);
}

void TConsumptionChart::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (FDrag == Drag::Band) {
        const QRect plot = mapFromScene(chart()->mapToScene(chart()->plotArea())).boundingRect();
        const int left = std::clamp(std::min(FDragStart.x(), at.x()), plot.left(), plot.right());
        const int right = std::clamp(std::max(FDragStart.x(), at.x()), plot.left(), plot.right());
        FBand->setGeometry(QRect(QPoint(left, plot.top()), QPoint(right, plot.bottom())));
        FBand->setVisible(right - left >= kMinBandPixels);
        event->accept();
        return;
    }
    if (FDrag == Drag::Scroll) {
        const double plotWidth = PlotWidth();
        const double span = FViewTo - FViewFrom;
        const double shift = -(at.x() - FDragStart.x()) / plotWidth * span;
        ZoomTo(FDragViewFrom + shift, FDragViewFrom + shift + span);
        event->accept();
        return;
    }
    QChartView::mouseMoveEvent(event);
}

void TConsumptionChart::mouseReleaseEvent(QMouseEvent* event) {
    if (FDrag == Drag::None) {
        QChartView::mouseReleaseEvent(event);
        return;
    }
    const Drag drag = std::exchange(FDrag, Drag::None);
    FBand->hide();
    unsetCursor();
    const QPoint at = event->position().toPoint();
    if (drag == Drag::Band && std::abs(at.x() - FDragStart.x()) >= kMinBandPixels) {
        ZoomTo(SlotAt(FDragStart), SlotAt(at));
    }
    event->accept();
}

void TConsumptionChart::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        ResetZoom();
        event->accept();
        return;
    }
    QChartView::mouseDoubleClickEvent(event);
}

void TConsumptionChart::keyPressEvent(QKeyEvent* event) {
    const double span = FViewTo - FViewFrom;
    const double middle = (FViewFrom + FViewTo) / 2;
    double lo = 0, hi = 0;
    DataRange(lo, hi);
    switch (event->key()) {
        case Qt::Key_Left:
            ScrollBy(-span * kArrowStep);
            break;
        case Qt::Key_Right:
            ScrollBy(span * kArrowStep);
            break;
        case Qt::Key_PageUp:
            ScrollBy(-span * kPageStep);
            break;
        case Qt::Key_PageDown:
            ScrollBy(span * kPageStep);
            break;
        case Qt::Key_Home:
            ZoomTo(lo, lo + span);
            break;
        case Qt::Key_End:
            ZoomTo(hi - span, hi);
            break;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            ZoomBy(0.5, middle);
            break;
        case Qt::Key_Minus:
            ZoomBy(2.0, middle);
            break;
        default:
            QChartView::keyPressEvent(event);
            return;
    }
    event->accept();
}

void TConsumptionChart::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* reset = menu.addAction(QString::fromUtf8(kResetZoomText));
    reset->setEnabled(IsZoomed());
    if (menu.exec(event->globalPos()) == reset) {
        ResetZoom();
    }
    event->accept();
}

void TConsumptionChart::changeEvent(QEvent* event) {
    QChartView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        ApplyFonts();
        Rebuild();
    }
}

void TConsumptionChart::ApplyFonts() {
    const QFont labels = font();
    const QFont titles = font();
    FTimeAxis->setLabelsFont(labels);
    FVolumeAxis->setLabelsFont(labels);
    FVolumeAxis->setTitleFont(titles);
    chart()->legend()->setFont(labels);
    FPlaceholder->setFont(font());
}

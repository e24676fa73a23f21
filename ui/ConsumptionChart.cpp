#include "ConsumptionChart.h"

#include "RecordTexts.h"
#include "TextFormat.h"

#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QCursor>
#include <QFontMetrics>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <utility>

using namespace ZQ_namespace;

namespace {

const QColor kPlusColor(0x2f, 0x6f, 0xb5);
const QColor kMinusColor(0xd9, 0x73, 0x1e);

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

TConsumptionChart::TConsumptionChart(QWidget* parent) : TZoomChartView(parent) {
    QChart* chart = this->chart();
    // The legend, when there are two sets, stands on the right.
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->legend()->hide();

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
    double from = 0, to = 0;
    DataRange(from, to);
    SetViewRange(from, to);
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

// Widened about its middle to kMinViewSlots.
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
    FBucketWidth = zqui::BucketWidthFor(FSeries.kind, ViewTo() - ViewFrom(), FBarsFor);
    FFirstBucketSlot =
        FloorDiv(static_cast<int64_t>(std::floor(ViewFrom())), FBucketWidth) * FBucketWidth;
    const int64_t end = static_cast<int64_t>(std::ceil(ViewTo()));
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
    const double barPixels = PlotWidth() * FBucketWidth / (ViewTo() - ViewFrom());
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
    const double x0 = position(ViewFrom());
    const double x1 = position(ViewTo());
    FTimeAxis->setRange(x0, x1);
    FTimeAxis->setStartValue(x0 - 1);

    const QFontMetrics metrics(FTimeAxis->labelsFont());
    const bool withHours =
        FSeries.kind == akHour && FBucketWidth < 24 && (ViewTo() - ViewFrom()) < 24 * 8;
    const QString sample = FSeries.kind == akMonth ? QStringLiteral("00/00")
                           : withHours             ? QStringLiteral("00/00/00 00:00")
                                                   : QStringLiteral("00/00/00");
    const double labelPixels = metrics.horizontalAdvance(sample) + 24;
    const int maxTicks = std::max(1, static_cast<int>(plotWidth / labelPixels));
    const QRectF plot = chart()->plotArea();
    const double leftRoom = plot.width() > 10 ? plot.left() : 0;
    const double rightRoom = plot.width() > 10 ? chart()->size().width() - plot.right() : 0;
    for (const zqui::TimeTick& tick :
         zqui::TimeAxisTicks(FSeries.kind, ViewFrom(), ViewTo(), maxTicks)) {
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
        zqui::BucketWidthFor(FSeries.kind, ViewTo() - ViewFrom(), bars) != FBucketWidth;
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

void TConsumptionChart::changeEvent(QEvent* event) {
    TZoomChartView::changeEvent(event);
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

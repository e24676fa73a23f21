#include "ZoomChartView.h"

#include <QChart>
#include <QContextMenuEvent>
#include <QGraphicsLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// A drag shorter than this many pixels is a click, not a band to zoom to.
constexpr int kMinBandPixels = 4;
// Scroll steps as parts of the span in view.
constexpr double kArrowStep = 0.1;
constexpr double kPageStep = 0.9;
constexpr double kWheelZoom = 0.8;  // span factor per wheel notch

}  // namespace

// The view is given its chart at once: a view made without one makes its own,
// which setChart would release without deleting.
TZoomChartView::TZoomChartView(QWidget* parent) : QChartView(new QChart, parent) {
    QChart* chart = this->chart();
    chart->setBackgroundRoundness(0);
    // The charts are short (a third of a page): every pixel of height goes
    // to the plot.
    chart->setMargins(QMargins(0, 4, 4, 0));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setAnimationOptions(QChart::NoAnimation);
    setRenderHint(QPainter::Antialiasing, false);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumHeight(120);
    FBand = new QRubberBand(QRubberBand::Rectangle, viewport());
}

TZoomChartView::~TZoomChartView() = default;

void TZoomChartView::SetViewRange(double from, double to) {
    FViewFrom = from;
    FViewTo = to;
}

double TZoomChartView::PlotWidth() const {
    const double width = chart()->plotArea().width();
    // Before the chart's first layout the plot has no size yet.
    return width > 10 ? width : std::max(100, this->width() - 80);
}

QRect TZoomChartView::PlotRect() const {
    return mapFromScene(chart()->mapToScene(chart()->plotArea())).boundingRect();
}

bool TZoomChartView::IsZoomed() const {
    double from = 0, to = 0;
    DataRange(from, to);
    return HasData() && (std::abs(FViewFrom - from) > 1e-6 || std::abs(FViewTo - to) > 1e-6);
}

void TZoomChartView::ZoomTo(double from, double to) {
    if (!HasData() || !std::isfinite(from) || !std::isfinite(to)) {
        return;
    }
    if (to < from) {
        std::swap(from, to);
    }
    double lo = 0, hi = 0;
    DataRange(lo, hi);
    const double span = std::clamp(to - from, std::min(MinViewSpan(), hi - lo), hi - lo);
    const double middle = (from + to) / 2;
    from = std::clamp(middle - span / 2, lo, hi - span);
    if (std::abs(from - FViewFrom) < 1e-9 && std::abs(from + span - FViewTo) < 1e-9) {
        return;
    }
    FViewFrom = from;
    FViewTo = from + span;
    Rebuild();
}

void TZoomChartView::ZoomBy(double factor, double anchor) {
    const double from = anchor - (anchor - FViewFrom) * factor;
    const double to = anchor + (FViewTo - anchor) * factor;
    // Keep the anchor's place when the span hits its limit.
    double lo = 0, hi = 0;
    DataRange(lo, hi);
    const double span = std::clamp(to - from, std::min(MinViewSpan(), hi - lo), hi - lo);
    const double share = FViewTo > FViewFrom ? (anchor - FViewFrom) / (FViewTo - FViewFrom) : 0.5;
    const double start = anchor - share * span;
    ZoomTo(start, start + span);
}

void TZoomChartView::ScrollBy(double delta) {
    ZoomTo(FViewFrom + delta, FViewTo + delta);
}

void TZoomChartView::ResetZoom() {
    double from = 0, to = 0;
    DataRange(from, to);
    ZoomTo(from, to);
}

double TZoomChartView::PositionAt(const QPoint& viewPos) const {
    const QPointF at = chart()->mapFromScene(mapToScene(viewPos));
    const QRectF plot = chart()->plotArea();
    if (plot.width() <= 0) {
        return (FViewFrom + FViewTo) / 2;
    }
    return FViewFrom + (at.x() - plot.left()) / plot.width() * (FViewTo - FViewFrom);
}

void TZoomChartView::wheelEvent(QWheelEvent* event) {
    if (!HasData()) {
        event->ignore();
        return;
    }
    const QPoint angle = event->angleDelta();
    const double span = FViewTo - FViewFrom;
    if (angle.x() != 0 || (event->modifiers() & Qt::ShiftModifier)) {
        const double notches = (angle.x() != 0 ? angle.x() : angle.y()) / 120.0;
        ScrollBy(-notches * span * kArrowStep);
    } else {
        ZoomBy(std::pow(kWheelZoom, angle.y() / 120.0), PositionAt(event->position().toPoint()));
    }
    event->accept();
}

void TZoomChartView::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (HasData() && PlotRect().contains(at)) {
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

void TZoomChartView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (FDrag == Drag::Band) {
        const QRect plot = PlotRect();
        const int left = std::clamp(std::min(FDragStart.x(), at.x()), plot.left(), plot.right());
        const int right = std::clamp(std::max(FDragStart.x(), at.x()), plot.left(), plot.right());
        FBand->setGeometry(QRect(QPoint(left, plot.top()), QPoint(right, plot.bottom())));
        FBand->setVisible(right - left >= kMinBandPixels);
        event->accept();
        return;
    }
    if (FDrag == Drag::Scroll) {
        const double span = FViewTo - FViewFrom;
        const double shift = -(at.x() - FDragStart.x()) / PlotWidth() * span;
        ZoomTo(FDragViewFrom + shift, FDragViewFrom + shift + span);
        event->accept();
        return;
    }
    HoverAt(at);
    QChartView::mouseMoveEvent(event);
}

void TZoomChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (FDrag == Drag::None) {
        QChartView::mouseReleaseEvent(event);
        return;
    }
    const Drag drag = std::exchange(FDrag, Drag::None);
    FBand->hide();
    unsetCursor();
    const QPoint at = event->position().toPoint();
    if (drag == Drag::Band && std::abs(at.x() - FDragStart.x()) >= kMinBandPixels) {
        ZoomTo(PositionAt(FDragStart), PositionAt(at));
    }
    event->accept();
}

void TZoomChartView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        ResetZoom();
        event->accept();
        return;
    }
    QChartView::mouseDoubleClickEvent(event);
}

void TZoomChartView::keyPressEvent(QKeyEvent* event) {
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

void TZoomChartView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* reset = menu.addAction(QString::fromUtf8(kResetZoomText));
    reset->setEnabled(IsZoomed());
    if (menu.exec(event->globalPos()) == reset) {
        ResetZoom();
    }
    event->accept();
}

#pragma once

#include <QChartView>

class QRubberBand;

// The look and the handling the window's charts share: a chart with no
// rounded corners, margins or animation, whose horizontal axis shows a part
// [ViewFrom, ViewTo) of its data's range, in the data's own unit (archive
// slots, seconds of monitoring).
//
// The mouse and the keys, always over the part in view:
// - wheel: zoom in and out around the pointer; Shift+wheel or a horizontal
//   wheel scrolls;
// - left button dragged across the plot: zoom to the band dragged;
// - middle button, or Shift with the left button, dragged: scroll;
// - Left/Right, PageUp/PageDown, Home/End: scroll; +/-: zoom;
// - double click, or "Сбросить масштаб" in the context menu: the whole range.
// A derived chart supplies the range, the narrowest view and the drawing of
// the part in view. GUI thread only.
class TZoomChartView : public QChartView {
    Q_OBJECT

public:
    explicit TZoomChartView(QWidget* parent = nullptr);
    ~TZoomChartView() override;

    double ViewFrom() const { return FViewFrom; }
    double ViewTo() const { return FViewTo; }
    bool IsZoomed() const;
    // Kept inside the data's range and at least MinViewSpan() wide.
    void ZoomTo(double from, double to);
    // `factor` < 1 zooms in; `anchor` keeps its place on the axis.
    void ZoomBy(double factor, double anchor);
    // `delta` in the axis' unit; positive moves later.
    void ScrollBy(double delta);
    void ResetZoom();

protected:
    virtual bool HasData() const = 0;
    // The data's whole range, already widened to MinViewSpan() when it is
    // narrower.
    virtual void DataRange(double& from, double& to) const = 0;
    virtual double MinViewSpan() const = 0;
    // Draws the part in view again.
    virtual void Rebuild() = 0;
    // The pointer moved to `viewPos` with no drag going on.
    virtual void HoverAt(const QPoint& /*viewPos*/) {}

    // Sets the part in view without drawing it.
    void SetViewRange(double from, double to);
    // The axis position under a point of the view.
    double PositionAt(const QPoint& viewPos) const;
    // The plot's width in pixels (a guess from the view's width before the
    // chart's first layout).
    double PlotWidth() const;
    QRect PlotRect() const;

    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    double FViewFrom = 0;
    double FViewTo = 1;
    QRubberBand* FBand = nullptr;
    enum class Drag { None, Band, Scroll } FDrag = Drag::None;
    QPoint FDragStart;
    double FDragViewFrom = 0;
};

inline constexpr char kResetZoomText[] = "Сбросить масштаб";

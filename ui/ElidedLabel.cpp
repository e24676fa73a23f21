#include "ElidedLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    // A path or a device's text is never markup.
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

QRect ElidedLabel::TextArea() const {
    const int m = margin();
    return contentsRect().adjusted(m, m, -m, -m);
}

bool ElidedLabel::IsElided() const {
    return fontMetrics().horizontalAdvance(text()) > TextArea().width();
}

// As high as the text, as narrow as an ellipsis: the whole text is no
// minimum, so a long one cannot widen the window.
QSize ElidedLabel::minimumSizeHint() const {
    const int m = 2 * margin();
    const QMargins frame = contentsMargins();
    return {fontMetrics().horizontalAdvance(QStringLiteral("…")) + m + frame.left() + frame.right(),
            QLabel::minimumSizeHint().height()};
}

bool ElidedLabel::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (IsElided()) {
            QToolTip::showText(help->globalPos(), text(), this, TextArea());
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QLabel::event(event);
}

void ElidedLabel::paintEvent(QPaintEvent* event) {
    // A text that fits is QLabel's, with its selection.
    if (!IsElided()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = TextArea();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width());
    style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(), shown, foregroundRole());
}

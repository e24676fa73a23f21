// Where the main window and its dialogs open.
#include "MainFrame.h"

#include <QChildEvent>
#include <QDialog>
#include <QEvent>
#include <QMenuBar>
#include <QScreen>

#include <algorithm>

namespace {

// The designed client area, under the menu.
constexpr int kClientWidth = 904;
constexpr int kClientHeight = 571;

// The top-left corner that centres a frame of `size` on `centre`, kept in
// `free` (a frame larger than it starts at its top-left corner).
QPoint CentredCorner(const QSize& size, const QPoint& centre, const QRect& free) {
    QRect placed(QPoint(), size);
    placed.moveCenter(centre);
    const int x = std::max(std::min(placed.left(), free.right() + 1 - size.width()), free.left());
    const int y = std::max(std::min(placed.top(), free.bottom() + 1 - size.height()), free.top());
    return {x, y};
}

}  // namespace

void TMainForm::PlaceOnScreen() {
    const int menuHeight = menuBar()->isNativeMenuBar() ? 0 : menuBar()->sizeHint().height();
    resize(kClientWidth, kClientHeight + menuHeight);
    const QRect free = screen()->availableGeometry();
    move(CentredCorner(size(), free.center(), free));
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    // A dialog of the window is polished once, before its first show: from
    // then on the window watches it until that show.
    if (watched == this && event->type() == QEvent::ChildPolished) {
        auto* dialog = qobject_cast<QDialog*>(static_cast<QChildEvent*>(event)->child());
        if (dialog && dialog->isWindow()) {
            dialog->installEventFilter(this);
        }
        return QMainWindow::eventFilter(watched, event);
    }
    auto* dialog = watched != this ? qobject_cast<QDialog*>(watched) : nullptr;
    if (dialog && event->type() == QEvent::Show && !event->spontaneous()) {
        // Placed once: a dialog the user moved (the search, the manual)
        // stays where it was put when it is hidden and shown again.
        dialog->removeEventFilter(this);
        // The dialog's frame is not known before it is shown: take the one
        // the window system gave the main window. move() places the frame.
        const QRect frame = frameGeometry();
        const QRect inner = geometry();
        const QSize frameSize = dialog->size().grownBy(
            QMargins(inner.left() - frame.left(), inner.top() - frame.top(),
                     frame.right() - inner.right(), frame.bottom() - inner.bottom()));
        dialog->move(CentredCorner(frameSize, frame.center(), screen()->availableGeometry()));
    }
    return QMainWindow::eventFilter(watched, event);
}

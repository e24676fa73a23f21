#include "ReadOnlyGuard.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>

namespace {

const char kGuardedProperty[] = "zqReadOnly";

bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            return true;
        default:
            return false;
    }
}

// Keys that only move the focus pass; every other key would change a box
// (Space, Select) or a combo (arrows, Home, End, letters, F4, Alt+Down).
bool IsFocusKey(const QKeyEvent* event) {
    return event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
}

}  // namespace

TReadOnlyGuard::TReadOnlyGuard(QObject* parent) : QObject(parent) {}

void TReadOnlyGuard::Guard(QAbstractButton* box) {
    box->setProperty(kGuardedProperty, true);
    box->installEventFilter(this);
    connect(box, &QAbstractButton::clicked, box, [box](bool checked) {
        if (box->isCheckable()) {
            box->setChecked(!checked);
        }
    });
}

void TReadOnlyGuard::Guard(QComboBox* combo) {
    combo->setProperty(kGuardedProperty, true);
    combo->installEventFilter(this);
}

bool TReadOnlyGuard::eventFilter(QObject* watched, QEvent* event) {
    if (!watched->property(kGuardedProperty).toBool()) {
        return false;
    }
    if (IsUserInput(event->type())) {
        return true;
    }
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        return !IsFocusKey(static_cast<QKeyEvent*>(event));
    }
    return false;
}

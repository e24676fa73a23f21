#include "PageCopy.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>

namespace {

// The edit whose selection Ctrl+C would copy: the edit itself, or the line
// edit inside a spin, date or time box.
const QLineEdit* OwnEdit(const QObject* widget) {
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return edit;
    }
    if (qobject_cast<const QAbstractSpinBox*>(widget)) {
        return widget->findChild<const QLineEdit*>();
    }
    return nullptr;
}

}  // namespace

TPageCopy::TPageCopy(QWidget* page, std::function<QString()> text)
    : QObject(page), FPage(page), FText(std::move(text)) {
    FCopy = new QAction(QString::fromUtf8(kCopyText), page);
    FCopy->setObjectName(QStringLiteral("CopyAction"));
    FCopy->setShortcut(QKeySequence::Copy);
    FCopy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(FCopy, &QAction::triggered, this, &TPageCopy::Copy);
    page->addAction(FCopy);

    // The controls without a menu of their own leave the right click to
    // the page (a combo box would swallow it).
    page->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(page, &QWidget::customContextMenuRequested, this, &TPageCopy::ShowMenu);
    for (QWidget* child : page->findChildren<QWidget*>()) {
        if (qobject_cast<QLabel*>(child) || qobject_cast<QGroupBox*>(child) ||
            qobject_cast<QAbstractButton*>(child)) {
            child->setContextMenuPolicy(Qt::NoContextMenu);
        } else if (auto* combo = qobject_cast<QComboBox*>(child); combo && !combo->isEditable()) {
            combo->setContextMenuPolicy(Qt::NoContextMenu);
        } else if (qobject_cast<QLineEdit*>(child) || qobject_cast<QAbstractSpinBox*>(child)) {
            child->installEventFilter(this);
        }
    }
}

// An edit takes Ctrl+C for itself (ShortcutOverride); without a selection
// it is left unanswered, so the page's shortcut gets the key.
bool TPageCopy::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        const QLineEdit* edit = OwnEdit(watched);
        if (edit && !edit->hasSelectedText()) {
            return true;
        }
    }
    return false;
}

void TPageCopy::Copy() const {
    QApplication::clipboard()->setText(FText());
}

void TPageCopy::ShowMenu(const QPoint& pos) {
    QMenu menu(FPage);
    menu.addAction(FCopy);
    menu.exec(FPage->mapToGlobal(pos));
}

void AppendCopyLine(QString& text, const QString& name, const QString& value) {
    text += name;
    text += QLatin1Char('\t');
    text += value;
    text += QLatin1Char('\n');
}

QString ShownLabelText(const QLabel* label) {
    return label->buddy() ? WithoutMnemonic(label->text()) : label->text();
}

QString WithoutMnemonic(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) {
            ++i;
        }
        shown += text[i];
    }
    return shown;
}

#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QLabel;
class QPoint;
class QWidget;

// Copying of a parameter page: Ctrl+C anywhere on the page and "Копировать"
// in the context menu of the page's background and of its controls that
// have no menu of their own (labels, group boxes, check boxes, a list-only
// combo box) put the page's text on the clipboard. An edit or a spin box
// keeps its own menu, and its Ctrl+C copies its own selection when it has
// one; without a selection Ctrl+C there copies the page too.
class TPageCopy : public QObject {
    Q_OBJECT

public:
    // `text` gives what is copied, when it is copied. Owned by `page`.
    TPageCopy(QWidget* page, std::function<QString()> text);

    // The page's "Копировать" (Ctrl+C), objectName "CopyAction".
    QAction* CopyAction() const { return FCopy; }

    static constexpr char kCopyText[] = "Копировать";

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Copy() const;
    void ShowMenu(const QPoint& pos);

    QWidget* FPage;
    std::function<QString()> FText;
    QAction* FCopy = nullptr;
};

// One copied line: the name and the value separated by a tab, ended by "\n".
void AppendCopyLine(QString& text, const QString& name, const QString& value);

// A caption as it is shown: the '&' that marks a mnemonic left out ("&&"
// shows one '&').
QString WithoutMnemonic(const QString& text);
// A label's text as it is shown (a label marks a mnemonic only with a buddy).
QString ShownLabelText(const QLabel* label);

#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

class QUrl;

namespace Ui {
class ManualViewer;
}

// The window "Справка": the user's manual in the program's own browser, for
// a desktop without a browser for HTML. The manual's links and pictures
// work; Esc or "Закрыть" closes it. GUI thread only.
class ManualViewer : public QDialog {
    Q_OBJECT

public:
    ManualViewer(const QString& indexPath, QWidget* parent = nullptr);
    ~ManualViewer() override;

private:
    std::unique_ptr<Ui::ManualViewer> ui;
};

// The manual's first page: the installed one, <bin>/../share/zqmanager/
// manual/index.html, else the source tree's when the program runs from its
// build folder. Empty when neither exists.
QString ManualIndexPath();

// Answers, later and on the GUI thread, whether the desktop has a program
// registered for text/html. `answer` is called at most once, and not at all
// once `context` is gone (the work in flight belongs to it).
using BrowserProbe = std::function<void(QObject* context, std::function<void(bool)> answer)>;
// Starts the desktop's program for a URL; false when none could be started.
using UrlOpener = std::function<bool(const QUrl&)>;

// The desktop's answer: `xdg-mime query default text/html` names a desktop
// entry that is installed. A missing xdg-mime, or one that takes more than
// 5 s, counts as no browser.
void ProbeHtmlBrowser(QObject* context, std::function<void(bool)> answer);

// Replace the probe and the opener (QDesktopServices::openUrl); empty ones
// restore the defaults. For tests.
void SetManualOpeners(BrowserProbe probe, UrlOpener opener);

// "Справка": the manual in the desktop's browser; where none is registered
// or it cannot be started, in the window "Справка" (a child of `window`,
// shown again when already open); a box when the manual is missing. Returns
// at once: the window stays responsive while the desktop is asked.
void ShowManual(QWidget* window);

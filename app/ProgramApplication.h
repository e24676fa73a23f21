#pragma once

#include <QApplication>

// The application object: an exception escaping an event handler is shown
// in an error box with its message instead of ending the program.
class ProgramApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override;

    // What the program sets on whatever application object runs it: its
    // names, version and icon, and Qt's own texts in Russian. Call once,
    // after the application object exists.
    static void SetUpProgram();
};

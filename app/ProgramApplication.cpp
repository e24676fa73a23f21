#include "ProgramApplication.h"

#include <QMessageBox>

#include <exception>

bool ProgramApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        QMessageBox::critical(activeWindow(), applicationDisplayName(),
                              QString::fromUtf8(e.what()));
    } catch (...) {
        // A non-standard exception object carries no message.
        QMessageBox::critical(activeWindow(), applicationDisplayName(), QString());
    }
    return false;
}

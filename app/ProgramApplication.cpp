#include "ProgramApplication.h"

#include "AppIcons.h"
#include "MainFrameTexts.h"
#include "Version.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

#include <exception>

bool ProgramApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        QMessageBox::critical(activeWindow(), QString::fromUtf8(kCaption),
                              QString::fromUtf8(e.what()));
    } catch (...) {
        // A non-standard exception object carries no message.
        QMessageBox::critical(activeWindow(), QString::fromUtf8(kCaption), QString());
    }
    return false;
}

void ProgramApplication::SetUpProgram() {
    // No application display name: Qt would append it to the title of every
    // top-level window it hands to the window system ("Внимание — ZQ
    // Менеджер"), and the captions are to arrive exactly as the windows
    // carry them. The desktop file gives the desktop the program's name.
    QApplication::setApplicationName(QStringLiteral("zqmanager"));
    QApplication::setApplicationVersion(QStringLiteral(ZQ_VERSION_STRING));
    QApplication::setDesktopFileName(QStringLiteral("zqmanager"));
    QApplication::setWindowIcon(ProgramIcon());

    // Every text of the window is Russian, so are Qt's own (buttons of the
    // message boxes, the file dialogs).
    auto* qtTranslator = new QTranslator(qApp);
    if (qtTranslator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                           QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(qtTranslator);
    }
}

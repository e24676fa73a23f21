// zqmanager: the ZQ device's service tool as a window.
#include "DateTime.h"
#include "MainFrame.h"
#include "ProgramApplication.h"
#include "SettingsStore.h"
#include "TExcelExport.h"
#include "Version.h"

#include <QMessageBox>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "Usage: zqmanager [FILE.arch]\n"
    "\n"
    "The service tool of the ZQ flow-meter unit: reads the device over a COM port\n"
    "or a dial-up modem, monitors it, writes its setup parameters and clock,\n"
    "clears its archives, saves and opens .arch files.\n"
    "\n"
    "  FILE.arch        open this archive file at start\n"
    "  --help           show this text and exit\n"
    "  --version        show the program's version and exit\n"
    "\n"
    "Settings live in $XDG_CONFIG_HOME/Halbrec/ZURavorav.reg (default ~/.config).\n"
    "Qt's own options (-platform, -style ...) are accepted as well.\n";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zqmanager %s\n", ZQ_VERSION_STRING);
            return 0;
        }
    }

    ProgramApplication app(argc, argv);
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");  // numbers are always written with a point
    SetFormatSettingsFromLocale();
    ProgramApplication::SetUpProgram();

    // A settings file that cannot be used is told once the window is up:
    // the defaults hold and nothing the user sets is saved.
    bool storeUnusable = false;
    SettingsStore::SetWarningEvent([&storeUnusable](const std::string&) { storeUnusable = true; });

    QString fileToOpen;
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (!arguments[i].startsWith(QLatin1Char('-'))) {
            fileToOpen = arguments[i];
            break;
        }
    }

    TMainForm form;
    // An exported workbook opens in the desktop's program for .xlsx files;
    // the window says so when none takes it.
    TExcelExport::SetOpener([&form](const std::string& path) {
        return form.OpenWorkbook(QString::fromStdString(path));
    });
    form.show();
    if (storeUnusable) {
        QTimer::singleShot(0, &form, [&form] {
            QMessageBox::warning(
                &form, QStringLiteral("ZQ Менеджер"),
                QStringLiteral("Файл настроек нельзя использовать:\n%1\nДействуют значения по "
                               "умолчанию; изменения настроек не сохраняются.")
                    .arg(QString::fromStdString(SettingsStore::FilePath())));
        });
    }
    if (!fileToOpen.isEmpty()) {
        QTimer::singleShot(0, &form, [&form, fileToOpen] { form.FileOpenAccept(fileToOpen); });
    }
    return app.exec();
}

// Takes the screenshots of the README: every page after a read of a
// simulated device, and both dialogs, as PNG files in the folder given.
// Run under a real display (scripts/screenshots.sh starts Xvfb). With a
// second argument the read is also saved there as an .arch file; a third
// gives the monitoring cycles to wait for before the trend's shot (20).
#include "MainFrame.h"
#include "MonitoringChart.h"
#include "MonitoringRecording.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "SimDevice.h"
#include "WindowTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

void Wait(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

// The screen as the user sees it: the window and a dialog over it.
bool SaveScreen(const QRect& area, const QString& path) {
    QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    if (!area.isNull()) {
        shot = shot.copy(area.adjusted(-8, -8, 8, 8));
    }
    const bool ok = shot.save(path);
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// Shows the next modal dialog for a moment, saves the screen, then closes it.
void ShootModal(const QString& path, bool accept) {
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, path, accept] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        Wait(400);
        QRect area = dialog->frameGeometry();
        if (QWidget* parent = dialog->parentWidget()) {
            area = area.united(parent->window()->frameGeometry());
        }
        SaveScreen(area, path);
        accept ? dialog->accept() : dialog->reject();
    });
    poll->start();
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir configHome;
    if (argc < 2 || !configHome.isValid()) {
        std::fprintf(stderr, "usage: zq_screenshots OUTPUT_FOLDER [FILE.arch]\n");
        return 2;
    }
    setenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    SetFormatSettingsFromLocale();
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    SettingsStore store;
    store.WriteInteger(kProgramKey, "EnableCalibration", 1);
    store.Sync();
    SaveSimulatedDeviceSettings();

    auto device = std::make_unique<SimDevice>(std::vector<std::string>{
        "--baud", "0", "--latency", "0", "--seed", "5", "--hour", "200", "--day", "62", "--month",
        "24", "--journal", "40", "--wrap", "--ns-flags", "5"});
    if (!device->Started()) {
        std::fprintf(stderr, "zq_screenshots: %s\n", device->Error().c_str());
        return 1;
    }

    TMainForm form;
    form.show();
    form.move(20, 20);
    Wait(500);

    ShootModal(out + "/dialog-read.png", true);
    form.findChild<QAction*>("ReadAllDataAction")->trigger();
    if (!WaitUntil([&] { return form.CurrentTask() && form.CurrentTask()->GetState() > tsRunning; },
                   30000)) {
        std::fprintf(stderr, "zq_screenshots: the read did not finish\n");
        return 1;
    }
    Wait(300);

    const char* const pages[] = {"page-current", "page-setup", "page-hour",
                                 "page-day",     "page-month", "page-journal"};
    auto* tabs = form.findChild<QTabWidget*>("PageControl1");
    bool ok = true;
    for (int i = 0; i < 6; ++i) {
        tabs->setCurrentIndex(i);
        Wait(300);
        ok = SaveScreen(form.frameGeometry(), out + "/" + pages[i] + ".png") && ok;
    }
    // The read as a file, for the picture of its exported workbook.
    if (argc > 2) {
        ok = form.FileSaveAsAccept(QString::fromLocal8Bit(argv[2])) && ok;
    }

    // The exchange log of that read under the hourly archive.
    tabs->setCurrentIndex(2);
    form.findChild<QDockWidget*>("ExchangeLogDock")->show();
    form.resize(form.width(), form.height() + 220);
    Wait(500);
    ok = SaveScreen(form.frameGeometry(), out + "/exchange-log.png") && ok;
    form.findChild<QDockWidget*>("ExchangeLogDock")->hide();
    form.resize(form.width(), form.height() - 220);

    // Monitoring with a recording: the trend under the groups after some
    // cycles of a device whose flow settles, the recording's file in the
    // status bar.
    device.reset();
    device = std::make_unique<SimDevice>(std::vector<std::string>{
        "--baud", "0", "--latency", "0", "--seed", "5", "--ns-flags", "1", "--flow-settle", "30"});
    if (!device->Started()) {
        std::fprintf(stderr, "zq_screenshots: %s\n", device->Error().c_str());
        return 1;
    }
    tabs->setCurrentIndex(0);
    QTemporaryDir recordFolder;
    form.MonitoringRecording()->Choose(recordFolder.filePath(QStringLiteral("monitoring.csv")));
    form.findChild<QAction*>("MonitoringAction")->trigger();
    const int cycles = argc > 3 ? std::atoi(argv[3]) : 20;
    auto* chart = form.findChild<TMonitoringChart*>("MonitoringChart");
    if (!WaitUntil([&] { return chart->Trend().Size() >= static_cast<size_t>(cycles); },
                   cycles * 4000 + 10000)) {
        std::fprintf(stderr, "zq_screenshots: monitoring did not reach %d cycles\n", cycles);
        ok = false;
    }
    Wait(300);
    ok = SaveScreen(form.frameGeometry(), out + "/page-current-trend.png") && ok;
    form.findChild<QAction*>("CancelAction")->trigger();
    Wait(300);

    ShootModal(out + "/dialog-connection.png", false);
    form.findChild<QAction*>("ChanelTypeAction")->trigger();
    return ok ? 0 : 1;
}

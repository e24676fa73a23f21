// Takes the screenshots of the README: every page after a read of a
// simulated device, the dialogs (the connection dialog's port list open),
// a search under way, and "Приборы" during a round and after it, as PNG
// files in the folder given.
// Run under a real display (scripts/screenshots.sh starts Xvfb). With a
// second argument the read is also saved there as an .arch file; a third
// gives the monitoring cycles to wait for before the trend's shot (20).
#include "FakeSysfs.h"
#include "FleetDatabase.h"
#include "MainFrame.h"
#include "MeterRegister.h"
#include "MetersForm.h"
#include "MetersModel.h"
#include "MonitoringChart.h"
#include "MonitoringRecording.h"
#include "PortCombo.h"
#include "PortInfo.h"
#include "SearchDeviceDialog.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "SimDevice.h"
#include "WindowTestSupport.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

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

// Shows the next modal dialog for a moment, saves the screen (unless `path`
// is empty), then closes any popup and the dialog. `prepare`, when given,
// first sets the dialog's controls or opens a popup; the area it returns is
// shot too.
void ShootModal(const QString& path, bool accept,
                std::function<QRect(QDialog*)> prepare = nullptr) {
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, path, accept, prepare] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        const QRect opened = prepare ? prepare(dialog) : QRect();
        Wait(400);
        QRect area = dialog->frameGeometry().united(opened);
        if (QWidget* parent = dialog->parentWidget()) {
            area = area.united(parent->window()->frameGeometry());
        }
        if (!path.isEmpty()) {
            SaveScreen(area, path);
        }
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
        }
        accept ? dialog->accept() : dialog->reject();
    });
    poll->start();
}

// A system with a UART and two USB adapters, one with a serial number,
// where COM7 (the simulated device's alias) leads to a pseudo-terminal, as
// the port box of the connection dialog shows it.
void ShootPortList(TMainForm& form, const QString& out) {
    QTemporaryDir dir;
    FakeSysfs sys(dir.path().toStdString() + "/root");
    sys.AddUart("ttyS0", 4, "0x3F8");
    sys.AddUsbAdapter("1-2", "ttyUSB0", "0403:6001", "FTDI", "FT232R USB UART", "A10K1234",
                      "usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0");
    sys.AddUsbAdapter("1-3", "ttyUSB1", "067b:2303", "Prolific Technology Inc.",
                      "USB-Serial Controller", "");
    const QString sim =
        QFile::symLinkTarget(QString::fromStdString(comprt::PortFolder() + "/COM7"));
    QDir().mkpath(QString::fromStdString(sys.Root()) + QFileInfo(sim).path());
    QFile(QString::fromStdString(sys.Root()) + sim).open(QIODevice::WriteOnly);
    TPortCombo::SetSystemRoot(sys.Root());
    ChanelSetupStruct serial;
    LoadChanelSetup(serial);
    serial.CurrentChanel = 0;
    serial.ComPortName = "COM33";
    SaveChanelSetup(serial);
    ShootModal(out + "/dialog-connection-ports.png", false, [](QDialog* dialog) {
        Wait(300);
        auto* combo = dialog->findChild<QComboBox*>("ComPortCombo");
        combo->setFocus();
        combo->showPopup();
        Wait(300);
        return combo->view()->window()->frameGeometry();
    });
    form.findChild<QAction*>("ChanelTypeAction")->trigger();
    TPortCombo::SetSystemRoot("/");
    SaveSimulatedDeviceSettings();
}

// "Поиск прибора" under way: the device at address 1 found, the search
// going on past it.
bool ShootSearch(TMainForm& form, const QString& out) {
    form.findChild<QAction*>("SearchDeviceAction")->trigger();
    auto* dialog = form.findChild<TSearchDeviceDialog*>("SearchDeviceDialog");
    dialog->StartButton->click();
    const bool found = WaitUntil(
        [&] {
            return dialog->FoundList->topLevelItemCount() == 1 && form.CurrentTask() &&
                   form.CurrentTask()->GetStep() >= 40;
        },
        30000);
    Wait(300);
    const bool ok = found && SaveScreen(form.frameGeometry().united(dialog->frameGeometry()),
                                        out + "/dialog-search.png");
    dialog->close();
    return ok;
}

// "Приборы" over a register of five meters: three on the simulated line
// (addresses 1..3, read one after another at 19200 baud), one whose network
// address refuses every call, one in a group of its own. Shot while the
// round reads the first of the line, then when it is over; and the dialog
// of a meter.
bool ShootMeters(TMainForm& form, const QString& out) {
    QTemporaryDir folder;
    const std::string db = folder.filePath(QStringLiteral("fleet.sqlite")).toStdString();
    setenv("ZQ_FLEET_DB", db.c_str(), 1);
    SimDevice device({"--latency", "0", "--seed", "5", "--address", "1,2,3", "--hour", "400",
                      "--day", "62", "--month", "24", "--journal", "40"});
    if (!device.Started()) {
        std::fprintf(stderr, "zq_screenshots: %s\n", device.Error().c_str());
        return false;
    }
    {
        const std::unique_ptr<FleetDatabase> fleet = FleetDatabase::Open(db);
        MeterRegister meters(*fleet);
        const struct {
            const char* name;
            const char* group;
            const char* note;
            int address;
            const char* network;  // null: COM7
        } list[] = {
            {"Котельная 1", "Север", "ввод 1", 1, nullptr},
            {"Котельная 2", "Север", "ввод 2", 2, nullptr},
            {"Школа № 5", "Север", "", 3, nullptr},
            {"Больница", "Юг", "модем GPRS", 1, "127.0.0.1:9"},
            {"Насосная 3", "Восток", "новый", 1, "10.0.0.17:502"},
        };
        for (const auto& m : list) {
            Meter meter;
            meter.name = m.name;
            meter.group = m.group;
            meter.note = m.note;
            meter.connection.NetAddress = m.address;
            if (m.network) {
                meter.connection.CurrentChanel = 2;
                meter.connection.NetworkAddress = m.network;
            } else {
                meter.connection.ComPortName = "COM7";
            }
            meters.Add(meter);
        }
    }
    form.findChild<QAction*>("MetersAction")->trigger();
    auto* window = form.findChild<TMetersForm*>("MetersForm");
    auto* model = window->findChild<TMetersModel*>();
    Wait(500);
    // Every meter but the one of its own group, which stays unread.
    QAbstractItemModel* shown = window->MetersView->model();
    for (int row = 0; row < shown->rowCount(); ++row) {
        if (shown->index(row, 0).data().toString() != QStringLiteral("Насосная 3")) {
            window->MetersView->selectionModel()->select(
                shown->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    window->RoundButton->click();
    bool ok = WaitUntil(
        [&] {
            const QString state = model->RoundState("Котельная 1");
            return state.startsWith(QStringLiteral("читается")) &&
                   state.section(QLatin1Char(' '), 1, 1).toInt() >= 40;
        },
        60000);
    Wait(300);
    // The window alone (SaveScreen adds a margin around the area).
    const QRect area = window->frameGeometry().adjusted(8, 8, -8, -8);
    ok = ok && SaveScreen(area, out + "/meters-round.png");
    ok = WaitUntil([&] { return !window->RoundRunning(); }, 120000) && ok;
    // Котельная 1 chosen: the failed meter's tint shows above it.
    window->MetersView->clearSelection();
    window->MetersView->selectRow(1);
    Wait(500);
    ok = SaveScreen(area, out + "/meters.png") && ok;
    ShootModal(out + "/dialog-meter.png", false, [window](QDialog* dialog) {
        dialog->move(window->frameGeometry().topLeft() + QPoint(60, 40));
        return QRect();
    });
    window->EditButton->click();
    // "База данных..." as it opens where ZQ_FLEET_DB is not set.
    unsetenv("ZQ_FLEET_DB");
    ShootModal(out + "/dialog-fleet-database.png", false, [window](QDialog* dialog) {
        dialog->move(window->frameGeometry().topLeft() + QPoint(200, 120));
        return QRect();
    });
    window->DatabaseButton->click();
    window->close();
    return ok;
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

    auto readOnce = [&form] {
        form.findChild<QAction*>("ReadAllDataAction")->trigger();
        return WaitUntil(
            [&] { return form.CurrentTask() && form.CurrentTask()->GetState() > tsRunning; },
            30000);
    };
    ShootModal(QString(), true);
    if (!readOnce()) {
        std::fprintf(stderr, "zq_screenshots: the read did not finish\n");
        return 1;
    }
    Wait(300);
    // With the document read, every interval can be chosen: the last week.
    ShootModal(out + "/dialog-read.png", false, [](QDialog* dialog) {
        dialog->findChild<QRadioButton*>("RadioButton3")->click();
        const QDate today = QDate::currentDate();
        dialog->findChild<QDateEdit*>("DateTimePicker1")->setDate(today.addDays(-7));
        dialog->findChild<QDateEdit*>("DateTimePicker2")->setDate(today.addDays(-1));
        return QRect();
    });
    form.findChild<QAction*>("ReadAllDataAction")->trigger();

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

    // The same dialog set to wait for a device that calls in, no peer
    // listed: the note under the list says that any caller is taken.
    ChanelSetupStruct network;
    LoadChanelSetup(network);
    network.CurrentChanel = 2;
    network.NetworkAddress = "4001";
    network.NetworkMode = 2;
    network.AllowedPeers = "";
    SaveChanelSetup(network);
    ShootModal(out + "/dialog-connection-network.png", false);
    form.findChild<QAction*>("ChanelTypeAction")->trigger();

    ShootPortList(form, out);
    ok = ShootSearch(form, out) && ok;
    device.reset();
    ok = ShootMeters(form, out) && ok;
    return ok ? 0 : 1;
}

// zq_meters_bench: the figures of the "Приборы" window.
//  1. "Открыть историю" of a meter holding ten years of hourly records
//     (87,600, with 3650 daily, 120 monthly and 2000 journal records) in an
//     SQLite file: the database read, the six pages filled, the whole as the
//     user starts it (target: at most 1 s), and the peak memory.
//     With --png FILE, the hourly page of that history is drawn into FILE.
//  2. A round of 8 meters (zqsim --fleet 8 at 19200 baud, every one read
//     whole) started from the window: the longest gap between two ticks of
//     the main window's 100 ms TaskTimer (target: at most 50 ms beyond the
//     interval) and the longest stretch the window's event loop did not run.
#include "CivilTime.h"
#include "FleetDatabase.h"
#include "HistoryStore.h"
#include "MainFrame.h"
#include "MeterRegister.h"
#include "MetersForm.h"
#include "SimProcess.h"
#include "ZQArchive.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kYears = 10;
constexpr int kHours = kYears * 8760;
constexpr int kDays = kYears * 365;
constexpr int kMonths = kYears * 12;
constexpr int kEvents = 2000;
constexpr int kRoundMeters = 8;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long PeakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

void Pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
}

void PutFloat(uint8_t* at, float value) {
    std::memcpy(at, &value, 4);
}

// An archive record of the time `seconds` (civil seconds) with V+ `vPlus`.
ZQ_namespace::ArchiveStruct Record(int64_t seconds, float vPlus) {
    const zqsim::CivilTime t = zqsim::FromCivilSeconds(seconds);
    ZQ_namespace::ArchiveStruct r{};
    r.year = static_cast<uint8_t>(t.year - 2000);
    r.month = static_cast<uint8_t>(t.month);
    r.day = static_cast<uint8_t>(t.day);
    r.hour = static_cast<uint8_t>(t.hour);
    PutFloat(r.vPlus, vPlus);
    r.workTime[0] = 60;
    return r;
}

// Ten years of a meter that reads about 1.2 m³ an hour, newest first, ending
// on 1 March 2026.
ZQValve TenYears() {
    ZQValve valve;
    valve.Ident[0] = 'R';
    valve.Ident[2] = 1;
    valve.Current.Serial = 4711;
    const int64_t newest = zqsim::ToCivilSeconds({2026, 3, 1, 0, 0, 0});
    TryEncodeDate(2026, 3, 1, valve.Current.Date);
    for (int i = 0; i < kHours; ++i) {
        valve.HourArchive.push_back(Record(newest - int64_t{i} * 3600, (kHours - i) * 1.2f));
    }
    for (int i = 0; i < kDays; ++i) {
        valve.DayArchive.push_back(Record(newest - int64_t{i} * 86400, (kDays - i) * 28.8f));
    }
    for (int i = 0; i < kMonths; ++i) {
        const int month = 2026 * 12 + 2 - i;  // counted from January of year 0
        const zqsim::CivilTime t{month / 12, month % 12 + 1, 1, 0, 0, 0};
        valve.MonthArchive.push_back(Record(zqsim::ToCivilSeconds(t), (kMonths - i) * 876.0f));
    }
    for (int i = 0; i < kEvents; ++i) {
        const zqsim::CivilTime t = zqsim::FromCivilSeconds(newest - int64_t{i} * 43 * 3600);
        ZQ_namespace::JournalStruct j{};
        j.year = static_cast<uint8_t>(t.year - 2000);
        j.month = static_cast<uint8_t>(t.month);
        j.day = static_cast<uint8_t>(t.day);
        j.hour = static_cast<uint8_t>(t.hour);
        j.code[0] = static_cast<uint8_t>(1 + i % 8);
        valve.Journal.push_back(j);
    }
    return valve;
}

int BenchHistory(const QString& folder, const char* png) {
    const std::string path = (folder + QStringLiteral("/history.sqlite")).toStdString();
    auto start = Clock::now();
    {
        const std::unique_ptr<FleetDatabase> db = FleetDatabase::Open(path);
        Meter meter;
        meter.name = "Десять лет";
        meter.connection.ComPortName = "COM7";
        meter.connection.NetAddress = 1;
        const int64_t id = MeterRegister(*db).Add(meter);
        HistoryStore(*db).Import(id, TenYears());
    }
    std::printf(
        "history: %d hourly, %d daily, %d monthly records, %d journal records stored in "
        "%.1f s\n",
        kHours, kDays, kMonths, kEvents, MsSince(start) / 1000);

    setenv("ZQ_FLEET_DB", path.c_str(), 1);
    TMainForm form;
    form.show();
    form.findChild<QAction*>("MetersAction")->trigger();
    auto* meters = form.findChild<TMetersForm*>("MetersForm");
    Pump(300);
    meters->MetersView->selectRow(0);
    start = Clock::now();
    meters->HistoryButton->click();
    QApplication::processEvents();
    const double whole = MsSince(start);
    const size_t shown = form.findChild<TArchiveFrame*>("HourArchiveFrame")->RowTexts().size();
    std::printf(
        "  \"Открыть историю\"  %8.1f ms (database read, six pages filled, %zu hourly rows)   "
        "target <= 1000 ms  %s\n",
        whole, shown, whole <= 1000 && shown == kHours ? "met" : "MISSED");
    std::printf("  peak memory        %8ld MB\n", PeakRssMb());
    if (png != nullptr) {
        form.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(2);
        Pump(300);
        std::printf("  hourly page drawn into %s: %s\n", png,
                    form.grab().save(QString::fromLocal8Bit(png)) ? "done" : "FAILED");
    }

    // The parts.
    const std::unique_ptr<FleetDatabase> db = FleetDatabase::Open(path);
    start = Clock::now();
    const ZQValve valve = HistoryStore(*db).Whole(MeterRegister(*db).Find("Десять лет")->id);
    std::printf("  database read      %8.1f ms\n", MsSince(start));
    start = Clock::now();
    form.ShowHistory(QStringLiteral("Десять лет"), valve);
    std::printf("  pages filled       %8.1f ms\n", MsSince(start));
    unsetenv("ZQ_FLEET_DB");
    return shown == kHours ? 0 : 1;
}

int BenchRound(const QString& folder) {
    SimProcess sim;
    std::string error;
    std::vector<std::string> lines;
    if (!sim.Start(
            ZQSIM_PATH,
            {"--fleet", std::to_string(kRoundMeters), "--tcp-listen", "127.0.0.1:0", "--baud",
             "19200", "--hour", "600", "--day", "62", "--month", "24", "--journal", "64"},
            error) ||
        !sim.Lines(kRoundMeters, lines, 30000, error)) {
        std::fprintf(stderr, "zq_meters_bench: %s\n", error.c_str());
        return 1;
    }
    const std::string path = (folder + QStringLiteral("/round.sqlite")).toStdString();
    {
        const std::unique_ptr<FleetDatabase> db = FleetDatabase::Open(path);
        for (int i = 0; i < kRoundMeters; ++i) {
            std::istringstream in(lines[static_cast<size_t>(i)]);
            Meter meter;
            meter.name = "meter-" + std::to_string(i + 1);
            meter.connection.CurrentChanel = 2;
            in >> meter.connection.NetworkAddress;
            meter.connection.NetAddress = 1;
            MeterRegister(*db).Add(meter);
        }
    }
    setenv("ZQ_FLEET_DB", path.c_str(), 1);
    TMainForm form;
    form.show();
    form.findChild<QAction*>("MetersAction")->trigger();
    auto* meters = form.findChild<TMetersForm*>("MetersForm");
    Pump(300);

    // The main window's task timer, and a 20 ms beat for the event loop as a
    // whole (both windows are painted from it).
    auto* taskTimer = form.findChild<QTimer*>("TaskTimer");
    Clock::time_point lastTick{};
    double longestTick = 0;
    long ticks = 0;
    QObject::connect(taskTimer, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        if (ticks++ > 0) {
            longestTick = std::max(
                longestTick, std::chrono::duration<double, std::milli>(now - lastTick).count());
        }
        lastTick = now;
    });
    QTimer beat;
    beat.setInterval(20);
    Clock::time_point lastBeat = Clock::now();
    double longestBeat = 0;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longestBeat = std::max(longestBeat,
                               std::chrono::duration<double, std::milli>(now - lastBeat).count());
        lastBeat = now;
    });
    const auto start = Clock::now();
    lastBeat = start;
    beat.start();
    meters->RoundButton->click();
    while (meters->RoundRunning()) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const double roundMs = MsSince(start);
    beat.stop();
    const double beyond = longestTick - taskTimer->interval();
    std::printf(
        "round of %d meters from the window (zqsim --fleet, 19200 baud, each read whole): "
        "%.1f s, %s\n",
        kRoundMeters, roundMs / 1000, meters->RoundTotals->text().toUtf8().constData());
    std::printf(
        "  longest gap between two TaskTimer ticks %6.1f ms (%.1f ms beyond the interval, "
        "%ld ticks)   target <= 50 ms beyond  %s\n",
        longestTick, beyond, ticks, beyond <= 50 ? "met" : "MISSED");
    std::printf("  longest stretch without a turn of the event loop %6.1f ms (a 20 ms beat)\n",
                longestBeat);
    unsetenv("ZQ_FLEET_DB");
    return meters->RoundTotals->text().startsWith(QStringLiteral("Прочитано: 8,")) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir configHome;
    if (!configHome.isValid()) {
        return 2;
    }
    setenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit().constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    bool historyOnly = false;
    const char* png = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--history-only") == 0) {
            historyOnly = true;
        } else if (std::strcmp(argv[i], "--png") == 0 && i + 1 < argc) {
            png = argv[++i];
        } else {
            std::fprintf(stderr, "usage: zq_meters_bench [--history-only] [--png FILE]\n");
            return 2;
        }
    }
    int status = BenchHistory(configHome.path(), png);
    if (!historyOnly) {
        status |= BenchRound(configHome.path());
    }
    return status;
}

// zq_record_bench: the window monitoring a simulated device at 19200 baud
// while it records to a file on a slow disk, every line's flush taking
// 300 ms (--flush-ms). Prints the longest gap between two ticks of the
// window's 100 ms task timer (target: at most 50 ms beyond the interval),
// what one line costs whoever writes it, and checks that the file holds a
// whole line for every cycle.
//
// The slow disk: this program defines fdatasync itself, so the recorder's
// calls land here; for the recording's file it sleeps, then flushes with
// the C library's own. No hook in the program's code.
#include "MainFrame.h"
#include "MonitoringChart.h"
#include "MonitoringRecorder.h"
#include "MonitoringRecording.h"
#include "SimProcess.h"
#include "TaskClock.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <dlfcn.h>
#include <sys/stat.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<dev_t> gSlowDevice{0};
std::atomic<ino_t> gSlowInode{0};
std::atomic<int> gFlushMs{300};
std::atomic<int> gSlowFlushes{0};

bool IsSlowFile(int fd) {
    struct stat st {};
    return gSlowInode != 0 && fstat(fd, &st) == 0 && st.st_dev == gSlowDevice &&
           st.st_ino == gSlowInode;
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
}

int Lines(const std::string& path) {
    std::ifstream in(path);
    int lines = 0;
    for (std::string line; std::getline(in, line);) {
        ++lines;
    }
    return lines;
}

}  // namespace

extern "C" int fdatasync(int fd) {
    using Flush = int (*)(int);
    static const Flush real = reinterpret_cast<Flush>(dlsym(RTLD_NEXT, "fdatasync"));
    if (IsSlowFile(fd)) {
        ++gSlowFlushes;
        std::this_thread::sleep_for(std::chrono::milliseconds(gFlushMs.load()));
    }
    return real(fd);
}

int main(int argc, char** argv) {
    int cycles = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--cycles") == 0) {
            cycles = std::max(2, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--flush-ms") == 0) {
            gFlushMs = std::max(0, std::atoi(argv[i + 1]));
        }
    }
    QTemporaryDir configHome;
    if (!configHome.isValid()) {
        return 2;
    }
    setenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit().constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    // The file exists before the recorder opens it, so its flushes are known.
    const std::string csv = configHome.filePath(QStringLiteral("slow.csv")).toStdString();
    std::ofstream(csv).close();
    struct stat st {};
    if (stat(csv.c_str(), &st) != 0) {
        return 2;
    }
    gSlowDevice = st.st_dev;
    gSlowInode = st.st_ino;

    // What a line costs whoever writes it: the recorder on its own.
    const std::string probe = configHome.filePath(QStringLiteral("probe.csv")).toStdString();
    std::ofstream(probe).close();
    stat(probe.c_str(), &st);
    gSlowInode = st.st_ino;
    MonitoringRecorder recorder;
    recorder.Open(probe);
    auto start = Clock::now();
    recorder.Append(LocalNow(), CurrentParamsStruct{});
    const double lineMs = MsSince(start);
    recorder.Close();
    stat(csv.c_str(), &st);
    gSlowInode = st.st_ino;
    gSlowFlushes = 0;

    SimProcess sim;
    std::string error;
    if (!sim.StartOnCom7(ZQSIM_PATH, error)) {
        std::fprintf(stderr, "zq_record_bench: %s\n", error.c_str());
        return 1;
    }

    TMainForm form;
    form.show();
    Pump(200);
    form.MonitoringRecording()->Choose(QString::fromStdString(csv));
    auto* taskTimer = form.findChild<QTimer*>("TaskTimer");
    Clock::time_point last{};
    double longest = 0;
    long ticks = 0;
    QObject::connect(taskTimer, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        if (ticks++ > 0) {
            longest =
                std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
        }
        last = now;
    });
    start = Clock::now();
    form.findChild<QAction*>("MonitoringAction")->trigger();
    const int timeoutMs = cycles * 6000 + 20000;
    while (gSlowFlushes < cycles + 1 && MsSince(start) < timeoutMs) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const double runMs = MsSince(start);
    const long runTicks = ticks;
    const double longestRun = longest;
    form.findChild<QAction*>("CancelAction")->trigger();
    // The stop only queues the close: the window goes on at once.
    start = Clock::now();
    Pump(1);
    const double stopMs = MsSince(start);
    while (form.MonitoringRecording()->PendingLines() > 0 && MsSince(start) < 10000) {
        Pump(20);
    }
    const int recorded = Lines(csv) - 1;
    const int cyclesRead =
        static_cast<int>(form.findChild<TMonitoringChart*>("MonitoringChart")->Trend().Size());

    const double beyond = longestRun - taskTimer->interval();
    std::printf(
        "zq_record_bench: monitoring at 19200 baud, recording to a file whose every "
        "flush takes %d ms\n",
        gFlushMs.load());
    std::printf("  one line written by the recorder itself  %7.1f ms\n", lineMs);
    std::printf("  monitoring with the recording            %7.1f s, %ld ticks, %d lines flushed\n",
                runMs / 1000, runTicks, static_cast<int>(gSlowFlushes) - 1);
    std::printf(
        "  longest gap between two ticks            %7.1f ms (%.1f ms beyond the interval)   "
        "target <= 50 ms beyond  %s\n",
        longestRun, beyond, beyond <= 50 ? "met" : "MISSED");
    std::printf("  the stop, on the window's thread         %7.1f ms\n", stopMs);
    std::printf("  cycles read %d, lines in the file %d (header apart)  %s\n", cyclesRead, recorded,
                recorded == cyclesRead ? "every cycle recorded" : "LINES MISSING");
    return beyond <= 50 && recorded == cyclesRead ? 0 : 1;
}

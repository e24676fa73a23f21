#include "TaskRunner.h"

#include "StopSignals.h"
#include "ZQMonitoringTask.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>

namespace {

// Ticks a stopped task may take to see its channel closed before the run ends.
constexpr int kStopGraceTicks = 30;

}  // namespace

TaskRunner::TaskRunner(ZQTask& task) : task(task), terminal(isatty(STDERR_FILENO) == 1) {}

int TaskRunner::Run() {
    QEventLoop loop;
    StopSignals stopSignals([this] {
        std::fprintf(stderr, "%sОтмена обмена\n", progressLine ? "\n" : "");
        progressLine = false;
        RequestStop(false);
    });

    if (verbose) {
        task.SetConsoleSink([this](const std::string& text) {
            Log(FormatNoteLine(std::chrono::system_clock::now(), text));
        });
        task.SetExchangeSink(
            [this](const ExchangeRecord& record) { Log(FormatExchangeLine(record)); });
    }

    QTimer timer;
    timer.setInterval(100);
    QObject::connect(&timer, &QTimer::timeout, [this, &loop] {
        Tick();
        if (finished) {
            loop.quit();
        }
    });
    QTimer deadline;
    if (timeoutSeconds) {
        deadline.setSingleShot(true);
        // Milliseconds kept inside a timer's int range before the conversion
        // (the command line allows far less).
        const double ms = std::clamp(*timeoutSeconds * 1000, 1.0, static_cast<double>(INT_MAX));
        deadline.setInterval(static_cast<int>(ms));
        QObject::connect(&deadline, &QTimer::timeout, [this] {
            std::fprintf(stderr, "%sВремя ожидания истекло\n", progressLine ? "\n" : "");
            progressLine = false;
            RequestStop(false);
        });
        deadline.start();
    }
    timer.start();
    loop.exec();

    Report(true);
    if (task.GetState() == tsDone) {
        return 0;
    }
    return stopRequested && stopIsSuccess ? 0 : 1;
}

void TaskRunner::RequestStop(bool success) {
    if (stopRequested) {
        return;
    }
    stopRequested = true;
    stopIsSuccess = success;
    task.Stop();
}

void TaskRunner::Tick() {
    task.Tick();
    const int state = task.GetState();
    if (task.IsChanged()) {
        task.ClearChanged();
        Report(false);
    }
    const int step = task.GetStep();
    if (state == tsRunning && task.GetTaskType() == kTaskMonitoring &&
        step == ZQMonitoringTask::kWaitStep && lastStep != step && onWaitStep) {
        if (progressLine) {
            std::fputc('\n', stderr);
            progressLine = false;
        }
        if (!onWaitStep()) {
            RequestStop(true);
        }
    }
    lastStep = step;
    if (state == tsDone || state == tsError) {
        finished = true;
        return;
    }
    if (state == tsStopped) {
        // The stopped task closes its channel on its ticks; wait for the close
        // (a modem call is hung up by it) before ending the run.
        TQueueIDChanel* chanel = task.GetChanel();
        if (chanel == nullptr || chanel->GetState() == csDisconnected ||
            ++stoppedTicks > kStopGraceTicks) {
            finished = true;
        }
    }
}

void TaskRunner::Log(const std::string& line) {
    if (progressLine) {
        std::fputc('\n', stderr);
        progressLine = false;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void TaskRunner::Report(bool final) {
    const std::string status = task.GetStatusText();
    if (terminal) {
        std::fprintf(stderr, "\r\033[K[%3d%%] %s", task.GetPercent(), status.c_str());
        progressLine = true;
        if (final) {
            std::fputc('\n', stderr);
            progressLine = false;
        }
    } else if (!status.empty() && status != lastStatus) {
        std::fprintf(stderr, "%s\n", status.c_str());
    }
    lastStatus = status;
    std::fflush(stderr);
}

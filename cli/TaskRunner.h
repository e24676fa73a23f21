#pragma once

#include "ZQTask.h"

#include <functional>
#include <optional>

// Runs one task as the window does: a 100 ms QTimer calls Tick on the event
// loop; progress and status texts go to standard error (a rewritten progress
// line on a terminal, one line per new status text otherwise).
//
// Ctrl+C, SIGTERM and the time-out stop the task as "Отмена обмена" does:
// the next tick closes the channel, and the run ends once the channel has
// closed (or after a short grace period).
class TaskRunner {
public:
    explicit TaskRunner(ZQTask& task);

    // Seconds after which the task is stopped; beyond about 24 days the
    // timer runs for its longest interval instead.
    void SetTimeout(std::optional<double> seconds) { timeoutSeconds = seconds; }
    // Called on every entry into the monitoring pause; returning false stops
    // the task (the run then counts as a success).
    void SetOnWaitStep(std::function<bool()> handler) { onWaitStep = std::move(handler); }
    // Prints the exchange log to standard error as the window's log shows
    // it: every request and answer with its verdict, and the channel's and
    // the modem line's own texts.
    void SetVerbose(bool on) { verbose = on; }

    // Runs until the task is done, failed or stopped. Returns 0 when it is
    // done (or stopped by the wait-step handler), 1 otherwise. Needs a
    // QCoreApplication.
    int Run();

private:
    void Tick();
    void Report(bool final);
    void RequestStop(bool success);
    // One line of the log, after ending a progress line.
    void Log(const std::string& line);

    ZQTask& task;
    std::optional<double> timeoutSeconds;
    std::function<bool()> onWaitStep;
    bool stopRequested = false;
    bool stopIsSuccess = false;
    int stoppedTicks = 0;
    int lastStep = -1;
    bool finished = false;
    std::string lastStatus;
    bool progressLine = false;
    bool terminal = false;
    bool verbose = false;
};

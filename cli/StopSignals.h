#pragma once

#include <QSocketNotifier>

#include <csignal>
#include <functional>
#include <memory>

// Ctrl+C (SIGINT) and SIGTERM while a command runs: instead of ending the
// process, each calls `onStop` on the event loop (through a pipe the signal
// handler writes to). The previous handlers come back when this goes.
// One at a time; needs a QCoreApplication.
class StopSignals {
public:
    explicit StopSignals(std::function<void()> onStop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier;
    struct sigaction oldInt {};
    struct sigaction oldTerm {};
    bool installed = false;
};

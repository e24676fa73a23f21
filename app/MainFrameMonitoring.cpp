// The main window's side of a monitoring run: its trend on the
// current-parameters page and its recording.
#include "MainFrame.h"

#include "MonitoringRecording.h"
#include "TaskClock.h"
#include "ZQCurrentParams.h"
#include "ZQMonitoringTask.h"

#include <QDateTime>

#include <chrono>

void TMainForm::FollowMonitoring() {
    const auto* task = dynamic_cast<const ZQMonitoringTask*>(currentTask.get());
    if (task == nullptr || task->GetCycleCount() == seenMonitoringCycles) {
        return;
    }
    // The task enters its pause once per cycle and a tick comes between two
    // entries, so no cycle is passed over.
    seenMonitoringCycles = task->GetCycleCount();
    // The trend places the cycle by the steady clock and labels it by the
    // PC's clock, which the user may set while monitoring runs.
    const double steadySeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    const double epochSeconds = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000;
    CurrentParamsFrame->AddMonitoringCycle(steadySeconds, epochSeconds, taskValve.Current);
    monitoringRecording->Cycle(LocalNow(), taskValve.Current);
}

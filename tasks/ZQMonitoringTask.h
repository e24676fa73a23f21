#pragma once

#include "ZQParamsReadTask.h"

// "Мониторинг": the identification once, then the current and setup
// parameters again and again, pausing MonitoringInterval seconds between
// cycles. Steps: 0 start, 1 channel, 2 identification, 3 current parameters,
// 4 setup parameters, 5 the pause (3 -> 4 -> 5 -> 3 ...). Ends only by Stop,
// an error, or the channel closing while the task pauses.
class ZQMonitoringTask : public ZQParamsReadTask {
public:
    // `valve` is not owned and must outlive the task.
    ZQMonitoringTask(bool running, ZQValve* valve);

    // Counts the pause down; at its end the next cycle's first request goes
    // out in the same tick.
    void Tick() override;
    int GetTaskType() override { return kTaskMonitoring; }
    int GetStepCount() override { return 5; }
    int ExecuteStep(int step) override;

    // Cycles whose current and setup parameters have both been read: each
    // entry into the pause counts one. An owner that compares it with the
    // count it saw last takes every cycle once, whenever it looks.
    int GetCycleCount() const { return cycleCount; }

    static constexpr int kWaitStep = 5;
    // The pause in seconds is kept in the connection dialog's range, whatever
    // the settings hold.
    static constexpr int kMinInterval = 2;
    static constexpr int kMaxInterval = 1000;

protected:
    int32_t waitTicks = 0;  // ticks of 100 ms left in the pause
    int cycleCount = 0;
};

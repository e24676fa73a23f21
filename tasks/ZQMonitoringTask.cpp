#include "ZQMonitoringTask.h"

#include <algorithm>
#include <cstdint>

ZQMonitoringTask::ZQMonitoringTask(bool running, ZQValve* valve)
    : ZQParamsReadTask(running, valve) {}

void ZQMonitoringTask::Tick() {
    if (step == kWaitStep && waitTicks > 0 && --waitTicks == 0) {
        SetStep(3, true);
    }
    ZQTask::Tick();
}

int ZQMonitoringTask::ExecuteStep(int s) {
    if (s != kWaitStep) {
        return ZQParamsReadTask::ExecuteStep(s);
    }
    statusText = "Ожидание ...";
    ++cycleCount;
    // Ticks of 100 ms. A stored 0 or less would never end the pause, a huge
    // value would overflow: both are brought into 2..1000 s first.
    const int64_t seconds =
        std::clamp<int64_t>(chanelSetup.MonitoringInterval, kMinInterval, kMaxInterval);
    waitTicks = static_cast<int32_t>(seconds * 10);
    return srWaitEvent;
}

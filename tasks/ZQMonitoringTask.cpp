#include "ZQMonitoringTask.h"

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
    waitTicks = chanelSetup.MonitoringInterval * 10;
    return srWaitEvent;
}

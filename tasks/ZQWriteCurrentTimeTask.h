#pragma once

#include "TaskClock.h"
#include "ZQWriteTask.h"

// "Установить текущее время": writes the PC's local date and time, taken
// when the write is built, to the clock registers 40001..40006.
class ZQWriteCurrentTimeTask : public ZQWriteTask {
public:
    explicit ZQWriteCurrentTimeTask(bool running, TaskClock clock = LocalNow)
        : ZQWriteTask(running), clock(std::move(clock)) {}

    int GetTaskType() override { return kTaskWriteTime; }

    // Registers 0..5 of a setup block in device byte order: year mod 100,
    // month, day, hour, minute, second.
    uint8_t clockRegs[12] = {};

protected:
    const char* WriteText() const override { return "Установка текущего времени"; }
    const char* DoneText() const override { return "Установка текущего времени выполнена"; }
    int BuildWrite() override;

private:
    TaskClock clock;
};

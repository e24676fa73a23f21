#pragma once

#include "ParamsRegisters.h"
#include "ZQWriteTask.h"

// "Сброс архива": writes 1 to the clear-archive register 40007; the device
// then clears its counters and archives.
class ZQClearArchiveTask : public ZQWriteTask {
public:
    explicit ZQClearArchiveTask(bool running) : ZQWriteTask(running) {}

    int GetTaskType() override { return kTaskClearArchive; }

    // Registers 0..10 of a setup block in device byte order; only register 6
    // is written.
    uint8_t setupBlock[2 * kSetupParamsConverted] = {};

protected:
    const char* WriteText() const override { return "Сброс архива"; }
    const char* DoneText() const override { return "Сброс архива будет выполнен"; }
    int BuildWrite() override;
};

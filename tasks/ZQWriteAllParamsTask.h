#pragma once

#include "ParamsRegisters.h"
#include "SetupParamsStruct.h"
#include "ZQWriteTask.h"

// "Установить настроечные параметры": writes the network address (40008)
// and, when "EnableCalibration" is non-zero, also the calibration code, the
// test code and the test mode (40009..40011).
class ZQWriteAllParamsTask : public ZQWriteTask {
public:
    explicit ZQWriteAllParamsTask(bool running) : ZQWriteTask(running) {}

    int GetTaskType() override { return kTaskWriteSetup; }

    // The values to write, as the setup page shows them: encoded and
    // converted to device byte order into setupBlock.
    void SetSetupParams(const SetupParamsStruct& params);

    // Holding registers 0..10 (40001..40011) in device byte order.
    uint8_t setupBlock[2 * kSetupParamsConverted] = {};

protected:
    const char* WriteText() const override { return "Запись настроечных параметров"; }
    const char* DoneText() const override { return "Запись параметров выполнена"; }
    int BuildWrite() override;
};

// The blocks written by the three write tasks.
#include "ParamsRegisters.h"
#include "Settings.h"
#include "ZQClearArchiveTask.h"
#include "ZQWriteAllParamsTask.h"
#include "ZQWriteCurrentTimeTask.h"

#include <cstring>

void ZQWriteAllParamsTask::SetSetupParams(const SetupParamsStruct& params) {
    std::memset(setupBlock, 0, sizeof setupBlock);
    EncodeSetupParams(params, setupBlock);
    ConvertByteOrder(setupBlock, kSetupParamsConverted, SetupParamsOrder, 1);
}

int ZQWriteAllParamsTask::BuildWrite() {
    // Read each time the write is built, so a changed switch counts at once.
    const uint16_t count = ReadIntegerSetting("EnableCalibration", 0) != 0 ? 4 : 1;
    return BuildWriteFrame(setupBlock + 2 * 7, kNetAddressReg, count);
}

int ZQWriteCurrentTimeTask::BuildWrite() {
    const TDateTime now = clock ? clock() : LocalNow();
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
    DecodeDate(now, year, month, day);
    DecodeTime(now, hour, minute, second, ms);
    const int values[6] = {year % 100, month, day, hour, minute, second};
    for (int i = 0; i < 6; ++i) {
        SetReg(clockRegs, i, static_cast<uint16_t>(values[i]));
    }
    ConvertByteOrder(clockRegs, 6, SetupParamsOrder, 1);
    return BuildWriteFrame(clockRegs, kClockReg, 6);
}

int ZQClearArchiveTask::BuildWrite() {
    std::memset(setupBlock, 0, sizeof setupBlock);
    SetReg(setupBlock, 6, 1);
    ConvertByteOrder(setupBlock, kSetupParamsConverted, SetupParamsOrder, 1);
    return BuildWriteFrame(setupBlock + 2 * 6, kClearArchiveReg, 1);
}

#include "ZQMonitoringTask.h"

#include "DeviceAnswers.h"
#include "ModbusFrames.h"
#include "ParamsRegisters.h"

ZQMonitoringTask::ZQMonitoringTask(bool running, ZQValve* valve) : ZQTask(running), valve(valve) {}

void ZQMonitoringTask::Tick() {
    if (step == kWaitStep && waitTicks > 0 && --waitTicks == 0) {
        SetStep(3, true);
    }
    ZQTask::Tick();
}

int ZQMonitoringTask::ExecuteStep(int s) {
    switch (s) {
        case 0:
            return srNext;
        case 1:
            return StepCreateChanel();
        case 2:
            return StepReadIdent();
        case 3:
            return StepReadRegisters("Чтение текущих параметров", kCurrentParamsRegs,
                                     kCurrentParamsCount);
        case 4:
            return StepReadRegisters("Чтение настроечных параметров", kSetupParamsRegs,
                                     kSetupParamsCount);
        case kWaitStep:
            statusText = "Ожидание ...";
            waitTicks = chanelSetup.MonitoringInterval * 10;
            return srWaitEvent;
        default:
            return srNext;
    }
}

void ZQMonitoringTask::OnRecvPacket(const uint8_t* data, int length, int packetId) {
    if (!CheckAnswer(data, static_cast<uint16_t>(length), packetId)) {
        return;
    }
    switch (step) {
        case 2:
            AcceptIdentAnswer(data, length, valve->Ident);
            break;
        case 3: {
            uint8_t block[kCurrentParamsBytes];
            if (DecodeCurrentParamsAnswer(data, length, block, valve->Current)) {
                NextStep();
            } else {
                SetError(kTextBadDataCount);
            }
            break;
        }
        case 4: {
            uint8_t block[kSetupParamsBytes];
            if (DecodeSetupParamsAnswer(data, length, block, valve->Setup)) {
                NextStep();
            } else {
                SetError(kTextBadDataCount);
            }
            break;
        }
        default:
            break;
    }
}

#include "ZQParamsReadTask.h"

#include "DeviceAnswers.h"
#include "ParamsRegisters.h"

int ZQParamsReadTask::ExecuteStep(int s) {
    switch (s) {
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
        default:
            return srNext;
    }
}

void ZQParamsReadTask::OnRecvPacket(const uint8_t* data, int length, int packetId) {
    if (!CheckAnswer(data, static_cast<uint16_t>(length), packetId)) {
        return;
    }
    switch (step) {
        case 2:
            AcceptIdentAnswer(data, length, valve->Ident);
            break;
        case 3: {
            uint8_t block[kCurrentParamsBytes];
            if (!DecodeCurrentParamsAnswer(data, length, block, valve->Current) ||
                !OnCurrentParamsBlock(block)) {
                SetError(kTextBadDataCount);
                return;
            }
            NextStep();
            break;
        }
        case 4: {
            uint8_t block[kSetupParamsBytes];
            if (!DecodeSetupParamsAnswer(data, length, block, valve->Setup)) {
                SetError(kTextBadDataCount);
                return;
            }
            NextStep();
            break;
        }
        default:
            OnLaterAnswer(data, length);
            break;
    }
}

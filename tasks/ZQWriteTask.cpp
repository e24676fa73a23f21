#include "ZQWriteTask.h"

#include "DeviceAnswers.h"
#include "ModbusFrames.h"

#include <cstring>

namespace {

// The answer to a write: address, 16, start address and register count as
// in the request, CRC.
constexpr int kWriteEchoLength = 8;

}  // namespace

int ZQWriteTask::ExecuteStep(int s) {
    switch (s) {
        case 0:
            return srNext;
        case 1:
            return StepCreateChanel();
        case 2:
            return StepReadIdent();
        case 3:
            statusText = WriteText();
            return SendRequest(BuildWrite());
        case 4:
            CloseChanel();
            statusText = DoneText();
            return srWaitEvent;
        default:
            return srNext;
    }
}

void ZQWriteTask::OnRecvPacket(const uint8_t* data, int length, int packetId) {
    if (!CheckAnswer(data, static_cast<uint16_t>(length), packetId)) {
        return;
    }
    if (step == 2) {
        AcceptIdentAnswer(data, length, nullptr);
    } else if (step == 3) {
        // CheckAnswer has matched the address and the function; the echo
        // must also name the start address and the count that were written,
        // or the write is not confirmed.
        if (length != kWriteEchoLength || std::memcmp(data + 2, requestFrame + 2, 4) != 0) {
            SetError(kTextBadDataCount);
            return;
        }
        NextStep();
    }
}

int ZQWriteTask::BuildWriteFrame(const uint8_t* data, uint16_t regNumber, uint16_t count) {
    int length = kRequestFrameSize;
    BuildWriteRegisters(requestFrame, length, DeviceAddress(), data, regNumber, count);
    return length;
}

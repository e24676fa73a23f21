#include "TComPortQueueIDChanel.h"

#include <cstring>

namespace {

// Above this many pending commands a packet is dropped rather than queued
// behind them; the task's own answer time-out recovers.
constexpr int kBusyPending = 4;

}  // namespace

int TComPortQueueIDChanel::Open(const std::string& portName, int baudRate, int readTotalTimeout,
                                int readIntervalTimeout, bool dtr, bool rts, bool modemTimeouts) {
    if (GetState() != csDisconnected) {
        return -2;
    }
    ChanelCommonStruct& data = TailData();
    data.PortName = portName;
    data.BaudRate = static_cast<uint32_t>(baudRate);
    data.ReadTotalTimeout = static_cast<uint32_t>(readTotalTimeout);
    data.ReadIntervalTimeout = static_cast<uint32_t>(readIntervalTimeout);
    data.Dtr = dtr ? 1 : 0;
    data.Rts = rts ? 1 : 0;
    data.ModemTimeouts = modemTimeouts ? 1 : 0;
    PushCommand(cmdOpen, qfAlways);
    SetState(csConnecting);
    return 1;
}

void TComPortQueueIDChanel::Close() {
    TailData();
    PushCommand(cmdClose, qfAlways);
}

bool TComPortQueueIDChanel::SendPacket(const uint8_t* data, int length, int packetId, bool quiet) {
    if (GetState() != csConnected) {
        return false;
    }
    if (length < 0 || length > ChanelCommonStruct::kBufferSize || (length > 0 && data == nullptr)) {
        return false;
    }
    ChanelCommonStruct& slot = TailData();
    if (length > 0) {
        std::memcpy(slot.TxBuffer, data, static_cast<size_t>(length));
    }
    slot.TxLength = static_cast<uint16_t>(length);
    slot.PacketId = packetId;
    const uint32_t flags = GetPendingCount() > kBusyPending ? qfDropIfBusy : qfAlways;
    PushCommand(quiet ? cmdTransferQuiet : cmdTransfer, flags);
    return true;
}

void TComPortQueueIDChanel::WakeUpDevice(bool sendFF) {
    TailData().SendFF = sendFF ? 1 : 0;
    PushCommand(cmdWakeUp, qfAlways);
}

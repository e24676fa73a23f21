#include "TComPortQueueIDChanel.h"

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
    QueueClose();
}

bool TComPortQueueIDChanel::SendPacket(const uint8_t* data, int length, int packetId, bool quiet) {
    return QueuePacket(data, length, packetId, quiet);
}

void TComPortQueueIDChanel::WakeUpDevice(bool sendFF) {
    TailData().SendFF = sendFF ? 1 : 0;
    PushCommand(cmdWakeUp, qfAlways);
}

#include "TNetQueueIDChanel.h"

#include "TNetChanelThread.h"

namespace {

// Every network connection talks to the device's line at its speed.
constexpr uint32_t kLineBaudRate = 19200;

}  // namespace

TNetQueueIDChanel::TNetQueueIDChanel()
    : TQueueIDThreadChanel(std::make_unique<TNetChanelThread>()) {}

TNetQueueIDChanel::~TNetQueueIDChanel() {
    // The worker carries out what is queued before it ends: nothing of it
    // may wait for the network any more.
    Worker().Abort(true);
}

TNetChanelThread& TNetQueueIDChanel::Worker() {
    return static_cast<TNetChanelThread&>(FThread);
}

int TNetQueueIDChanel::Open(const std::string& address, int mode, const std::string& allowedPeers,
                            int connectTimeout, int answerTimeout) {
    if (GetState() != csDisconnected) {
        return -2;
    }
    ChanelCommonStruct& data = TailData();
    data.PortName = address;
    data.NetMode = mode;
    data.AllowedPeers = allowedPeers;
    data.BaudRate = kLineBaudRate;
    data.ConnectTimeout = static_cast<uint32_t>(connectTimeout);
    data.ReadTotalTimeout = static_cast<uint32_t>(answerTimeout);
    PushCommand(cmdOpen, qfAlways);
    SetState(csConnecting);
    return 1;
}

void TNetQueueIDChanel::Close() {
    Worker().Abort(false);
    QueueClose();
}

bool TNetQueueIDChanel::SendPacket(const uint8_t* data, int length, int packetId, bool quiet) {
    return QueuePacket(data, length, packetId, quiet);
}

void TNetQueueIDChanel::OnPortEvent() {
    if (GetState() == csConnected) {
        SetState(csDisconnected);
    }
}

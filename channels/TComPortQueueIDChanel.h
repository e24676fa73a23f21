#pragma once

#include "TChanelThread.h"
#include "TQueueIDThreadChanel.h"

#include <cstdint>
#include <memory>
#include <string>

// The COM-port channel: opens a named port on its worker and carries numbered
// packets over it. All operations run on the GUI thread; the answers come
// back as events on the GUI thread, never from inside SendPacket.
//
// States: Open -> csConnecting -> csConnected, or csDisconnected with the
// error text on the console; Close -> csDisconnected once the close is done.
// A push onto a full queue raises "Queue overflow" to the caller.
class TComPortQueueIDChanel : public TQueueIDThreadChanel {
public:
    TComPortQueueIDChanel() : TQueueIDThreadChanel(std::make_unique<TChanelThread>()) {}

    // Queues the open of `portName` (PortNames.h; any length) at `baudRate`
    // with the read time-outs in ms, DTR and RTS as given (or the modem
    // time-outs with the lines left alone), and reports csConnecting before
    // it returns. Returns 1, or -2 without doing anything when the channel is
    // not disconnected.
    int Open(const std::string& portName, int baudRate, int readTotalTimeout,
             int readIntervalTimeout, bool dtr, bool rts, bool modemTimeouts);
    // Queues a close, whatever the state.
    void Close() override;
    // Queues packet `packetId` of `length` bytes (1..512 are carried). False
    // when not csConnected or the length is outside 0..512; nothing is queued
    // and no event follows. With more than 4 pending the packet is queued only
    // if that can be done without waiting, and true is returned either way.
    bool SendPacket(const uint8_t* data, int length, int packetId, bool quiet) override;
    // Queues the wake-up pulse, whatever the state.
    void WakeUpDevice(bool sendFF) override;
    int GetChanelKind() override { return 5; }
};

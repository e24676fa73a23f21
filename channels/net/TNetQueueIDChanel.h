#pragma once

#include "TQueueIDThreadChanel.h"

#include <cstdint>
#include <string>

class TNetChanelThread;

// Network modes of the connection settings (NetworkMode).
enum : int32_t { nmTcp = 0, nmRfc2217 = 1, nmListen = 2 };

// The packet-ID channel over a network: Modbus RTU frames over a TCP
// connection to a serial device server (plain, or with RFC 2217 control of
// its port), or over a connection the device makes to us (a modem behind an
// operator's address translation calling in). The same states, events,
// queue and sending as every thread channel; the worker is the network's
// (TNetChanelThread), whose notes reach the console.
//
// States: Open -> csConnecting -> csConnected, or csDisconnected with the
// reason on the console (refused, unreachable, name not found, nobody
// called). The peer closing or the connection failing while connected ->
// csDisconnected. Close aborts a connection attempt or an answer awaited at
// once, then queues the close. GUI thread only.
class TNetQueueIDChanel : public TQueueIDThreadChanel {
public:
    TNetQueueIDChanel();
    ~TNetQueueIDChanel() override;

    // Queues the connection: `address` as the mode wants it ("host:port";
    // "[address:]port" to wait for the call), `mode` nmTcp, nmRfc2217 or
    // nmListen, `allowedPeers` for nmListen (empty: anyone), the connection
    // limit and the answer time-out in ms. Returns 1 (csConnecting reported),
    // or -2 when the channel is not disconnected.
    int Open(const std::string& address, int mode, const std::string& allowedPeers,
             int connectTimeout, int answerTimeout);
    // Aborts what the worker waits for, then queues the close, whatever the
    // state.
    void Close() override;
    bool SendPacket(const uint8_t* data, int length, int packetId, bool quiet) override;
    int GetChanelKind() override { return 7; }
    // The connection failed or the peer closed it.
    void OnPortEvent() override;

private:
    TNetChanelThread& Worker();
};

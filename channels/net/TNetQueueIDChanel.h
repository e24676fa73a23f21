#pragma once

#include "TComPortQueueIDChanel.h"

#include <string>

class TNetChanelThread;

// The packet-ID channel over a network: Modbus RTU frames over a TCP
// connection to a serial device server (plain, or with RFC 2217 control of
// its port), or over a connection the device makes to us (a modem behind an
// operator's address translation calling in). The same states, events and
// queue as the COM-port channel; packets go out with its SendPacket.
//
// States: Open -> csConnecting -> csConnected, or csDisconnected with the
// reason on the console (refused, unreachable, name not found, nobody
// called). The peer closing or the connection failing while connected ->
// csDisconnected. Close aborts a connection attempt or an answer awaited at
// once, then queues the close. GUI thread only.
class TNetQueueIDChanel : public TComPortQueueIDChanel {
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
    void Close() override;
    int GetChanelKind() override { return 7; }
    // The connection failed or the peer closed it.
    void OnPortEvent() override;

protected:
    void HandleNotice(const ChanelNotice& notice) override;

private:
    TNetChanelThread& Worker();
};

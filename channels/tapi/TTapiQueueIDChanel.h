#pragma once

#include "TComPortQueueIDChanel.h"

#include <memory>
#include <string>

class TTapiConnection;

// The packet-ID channel over a dial-up modem call: Open dials, and when the
// call is connected the worker adopts the call's port and carries packets
// over it exactly as the COM-port channel does. Closing hangs the call up; a
// hang-up by the far end, or the carrier dropping (a port event), closes the
// channel. GUI thread only.
class TTapiQueueIDChanel : public TComPortQueueIDChanel {
public:
    TTapiQueueIDChanel();
    // Hangs up a call still up.
    ~TTapiQueueIDChanel() override;

    // 1 when the call has been placed (csConnecting), -1 when opening failed
    // (the reason on the console; no state event), -3 when a connection
    // existed and was cancelled instead of dialling.
    int Open(const std::string& modemName, const std::string& phoneNumber, int readTotalTimeout,
             int readIntervalTimeout);
    // Queues the close, hangs up and reports csDisconnected.
    void Close() override;
    int GetChanelKind() override { return 6; }
    // The carrier changed (or the line hung up): the call ends.
    void OnPortEvent() override;
    // The call's state codes: 0 disconnected, 1 dialling, 2 connected.
    void OnConnectionState(int state);

    TTapiConnection* GetConnection() const { return FConnection.get(); }

private:
    void Push(int32_t command);

    std::unique_ptr<TTapiConnection> FConnection;
    int32_t FReadTotalTimeout = 0;     // ms, for the modem's port
    int32_t FReadIntervalTimeout = 0;  // ms
};

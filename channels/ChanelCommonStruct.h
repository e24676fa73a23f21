#pragma once

#include <cstdint>
#include <string>

// Parameters and results of one queued command. The open view serves
// cmdOpen, cmdAttach and cmdWakeUp; the transfer view cmdTransfer and
// cmdTransferQuiet. The two views are separate fields here (a port name of
// any length cannot share storage with the buffers); a command reads only its
// own view.
struct ChanelCommonStruct {
    static constexpr int kBufferSize = 512;

    // Open view.
    uint8_t SendFF = 0;                // cmdWakeUp: end the pulse with one 0xFF byte
    int PortHandle = -1;               // cmdAttach: an open descriptor to adopt; -1 = none
    uint8_t HandOver = 0;              // cmdAttach: the worker owns PortHandle and closes it
    uint32_t BaudRate = 0;             // bit/s
    uint32_t ReadTotalTimeout = 0;     // ms a read may take in all
    uint32_t ReadIntervalTimeout = 0;  // ms of silence after a byte that ends a read
    uint8_t Dtr = 0;                   // DTR on (non-zero) or off after opening
    uint8_t Rts = 0;                   // RTS on or off after opening
    uint8_t ModemTimeouts = 0;         // 6000 ms total, 100 ms interval, lines left alone
    std::string PortName;              // cmdOpen: the port name (PortNames.h), or a network address
    // cmdOpen of a network channel: the mode (connect, RFC 2217, wait for
    // the call), the connection limit in ms, and the peers let in.
    int32_t NetMode = 0;
    uint32_t ConnectTimeout = 0;
    std::string AllowedPeers;

    // Transfer view.
    int32_t PacketId = 0;   // the caller's number, returned with the answer
    uint16_t TxLength = 0;  // bytes to send, at most kBufferSize
    uint16_t RxLength = 0;  // bytes received, written by the worker
    uint8_t TxBuffer[kBufferSize] = {};
    uint8_t RxBuffer[kBufferSize] = {};
};

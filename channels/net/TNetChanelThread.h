#pragma once

#include "NetLink.h"
#include "TChanelWorker.h"
#include "TelnetCodec.h"

#include <cstdint>
#include <string>
#include <vector>

// The worker of a network channel: the same commands as a serial port's,
// over a TCP connection.
//
// cmdOpen: connect to PortName ("host:port"), or with nmListen wait for the
//   first allowed peer on PortName ("[address:]port"; port 0: one the system
//   picks, which the note of the wait names), within ConnectTimeout ms;
//   with nmRfc2217 then agree binary transmission both ways (refused or
//   unanswered within ConnectTimeout: the open fails), set the remote line
//   to BaudRate 8N1, no flow control, DTR on, RTS off (an unconfirmed
//   request is no error; values the server set otherwise are logged) and
//   let it settle 300 ms. A failed open leaves no connection.
// cmdClose: close the connection; nothing is owed any more.
// cmdTransfer, cmdTransferQuiet: take what is left from earlier answers (late
//   answers to owed requests are recognised and dropped, the rest counted,
//   at most kPurgeBytes or kPurgeMs of it), send the request, and read until
//   the bytes hold the whole answer to it (AnswerLedger: late answers and
//   stale frames are dropped, bytes that begin no frame skipped, a frame
//   whose CRC fails looked past), at most ReadTotalTimeout ms (of the open).
//   An answer longer than the 512-byte buffer is cut there. No answer, or an
//   unfinished one, by then: "Прибор не отвечает", and the request is owed
//   its answer. The peer closing, the connection failing, or a telnet
//   subnegotiation that does not end (TelnetCodec): kNetBrokenText, after a
//   port-event notice, and the connection is closed there and then.
// cmdWakeUp: nothing (there are no lines to pulse).
//
// What happened on the network (the address connected to, the peer taken or
// refused, skipped bytes, late answers) goes out as notes (TChanelWorker).
class TNetChanelThread : public TChanelWorker {
public:
    TNetChanelThread() = default;
    ~TNetChanelThread() override;

    int Execute(int command, ChanelCommonStruct* data) override;

    // Any thread: the command under way and those queued before the next
    // close fail at once (`permanent`: every command until the end).
    void Abort(bool permanent) { FLink.Abort(permanent); }

private:
    void Open(const ChanelCommonStruct& data);
    void Transfer(ChanelCommonStruct& data);
    void SendBytes(const uint8_t* data, size_t size);
    // Bytes of the connection, through the telnet layer when there is one;
    // the server's requests are answered on the way.
    void Decode(const uint8_t* received, size_t size, std::vector<uint8_t>& data);
    void Purge();
    size_t ReadAnswer(const uint8_t* request, size_t requestLength, uint8_t* answer,
                      size_t capacity);
    // An answer whose function carries no length: the bytes up to a silence.
    size_t ReadUnframed(const uint8_t* request, size_t requestLength, uint8_t* answer,
                        size_t capacity);

    NetLink FLink;
    TelnetCodec FTelnet;
    bool FRfc2217 = false;
    uint32_t FAnswerTimeout = 0;  // ms
};

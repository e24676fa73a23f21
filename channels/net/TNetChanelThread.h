#pragma once

#include "NetLink.h"
#include "TChanelThread.h"
#include "TelnetCodec.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Network modes of the connection settings.
enum : int32_t { nmTcp = 0, nmRfc2217 = 1, nmListen = 2 };

// A text for the exchange log from the network worker. WParam: unused.
constexpr uint32_t kNetNoteNotice = WM_USER + 3;

// The worker of a network channel: the same commands as a serial port's,
// over a TCP connection.
//
// cmdOpen: connect to PortName ("host:port"), or with nmListen wait for the
//   first allowed peer on PortName ("[address:]port"), within ConnectTimeout
//   ms; with nmRfc2217 then agree binary transmission both ways (refused or
//   unanswered within ConnectTimeout: the open fails), set the remote line
//   to BaudRate 8N1, no flow control, DTR on, RTS off (an unconfirmed
//   request is no error; values the server set otherwise are logged) and
//   let it settle 300 ms. A failed open leaves no connection.
// cmdClose: close the connection.
// cmdTransfer, cmdTransferQuiet: drop what is left from earlier answers,
//   send the request, and read until the bytes form the whole answer to it
//   (its length follows from its header; bytes in front that cannot begin it
//   are skipped), at most ReadTotalTimeout ms (of the open) and 512 bytes.
//   No answer, or an unfinished one, by then: "Прибор не отвечает". The peer
//   closing, the connection failing, or a telnet subnegotiation that does
//   not end (TelnetCodec): kNetBrokenText, after a port-event notice, and
//   the connection is closed there and then.
// cmdWakeUp: nothing (there are no lines to pulse).
//
// What happened on the network (the address connected to, the peer taken or
// refused, skipped bytes) goes out as kNetNoteNotice; TakeNotes hands the
// texts to the GUI thread.
class TNetChanelThread : public TChanelThread {
public:
    TNetChanelThread() = default;
    ~TNetChanelThread() override;

    int Execute(int command, ChanelCommonStruct* data) override;

    // Any thread: the command under way and those queued before the next
    // close fail at once (`permanent`: every command until the end).
    void Abort(bool permanent) { FLink.Abort(permanent); }
    // GUI thread: the notes posted so far.
    std::vector<std::string> TakeNotes();

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
    void Note(std::string text);

    NetLink FLink;
    TelnetCodec FTelnet;
    bool FRfc2217 = false;
    uint32_t FAnswerTimeout = 0;  // ms
    std::mutex FNotesLock;
    std::vector<std::string> FNotes;
};

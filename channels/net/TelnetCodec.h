#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

// Said in the log and in the failure when a subnegotiation never ends.
inline constexpr const char* kTelnetSubUnfinishedText = "телнет-субсогласование не завершено";

// The telnet layer of a COM-port-control (RFC 2217) connection: the data
// bytes travel with IAC (0xFF) doubled, and the server's negotiations and
// notifications come between them. Decode takes the received bytes in any
// pieces (a command may be split between two reads) and keeps the state
// between calls. Worker thread only.
//
// The stream is binary both ways (TRANSMIT-BINARY is asked for in the
// greeting): a CR is never followed by a NUL that telnet's text mode would
// drop, since a Modbus answer may hold 0D 00.
//
// A subnegotiation (IAC SB ... IAC SE) ends only at IAC SE; IAC IAC inside
// it is one 0xFF of its value. None of its bytes ever becomes data. One
// longer than kMaxSubLength is dropped whole (a note says so); one that runs
// past kMaxOpenSubLength without its IAC SE leaves the stream beyond
// following: SubUnfinished, and Decode passes nothing on from then on.
class TelnetCodec {
public:
    // How the server answered the request for binary transmission one way.
    enum class Agreement { Asked, Agreed, Refused };

    // What the client sends after connecting: binary transmission both ways,
    // no go-ahead, the COM port option, and the serial line's settings:
    // `baudRate`, 8 data bits, no parity, 1 stop bit, no flow control, DTR
    // on, RTS off. The server's reports of them are compared with these.
    std::vector<uint8_t> Greeting(uint32_t baudRate);
    // `data` with every IAC doubled.
    static std::vector<uint8_t> Encode(const uint8_t* data, size_t size);
    // Appends the data bytes among `received` to `data`; the answers the
    // server's requests need go to `replies` (send them).
    void Decode(const uint8_t* received, size_t size, std::vector<uint8_t>& data,
                std::vector<uint8_t>& replies);

    // The server confirmed the COM port option (WILL or DO), or sent one of
    // its notifications.
    bool ComPortConfirmed() const { return FComPortConfirmed; }
    // The server reported a line setting other than the one asked for.
    bool ComPortDiffers() const { return FComPortDiffers; }
    // Binary transmission to the server (its DO or DONT) and from it (its
    // WILL or WONT).
    Agreement BinaryToServer() const { return FBinaryToServer; }
    Agreement BinaryFromServer() const { return FBinaryFromServer; }
    // Between an IAC SB and its IAC SE.
    bool InSubnegotiation() const;
    bool SubUnfinished() const { return FState == State::Lost; }
    // Texts for the exchange log since the last call: subnegotiations
    // dropped for their length, line settings the server made other than
    // asked ("RFC 2217: сервер установил ... вместо ...").
    std::vector<std::string> TakeNotes();

    static constexpr uint8_t IAC = 255;
    static constexpr uint8_t DONT = 254;
    static constexpr uint8_t DO = 253;
    static constexpr uint8_t WONT = 252;
    static constexpr uint8_t WILL = 251;
    static constexpr uint8_t SB = 250;
    static constexpr uint8_t SE = 240;
    static constexpr uint8_t kBinary = 0;
    static constexpr uint8_t kSuppressGoAhead = 3;
    static constexpr uint8_t kComPort = 44;
    // Longest subnegotiation read (a COM port report is at most 6 bytes);
    // a longer one is dropped.
    static constexpr size_t kMaxSubLength = 64;
    // A subnegotiation this long without IAC SE is taken as never ending.
    static constexpr size_t kMaxOpenSubLength = 1024;

private:
    enum class State { Data, Iac, Option, Sub, SubIac, Lost };

    void Negotiate(uint8_t command, uint8_t option, std::vector<uint8_t>& replies);
    void Send(uint8_t command, uint8_t option, std::vector<uint8_t>& out);
    void SubByte(uint8_t byte);
    void EndSub();
    void ComPortReport(uint8_t command, const uint8_t* value, size_t size);
    void Differs(const std::string& setting, const std::string& got, const std::string& asked);

    State FState = State::Data;
    uint8_t FCommand = 0;
    Agreement FBinaryToServer = Agreement::Asked;
    Agreement FBinaryFromServer = Agreement::Asked;
    bool FComPortConfirmed = false;
    bool FComPortDiffers = false;
    uint32_t FAskedBaudRate = 0;
    // The subnegotiation under way: its bytes (the first kMaxSubLength),
    // its whole length, and whether an IAC other than IAC IAC came inside.
    std::vector<uint8_t> FSub;
    size_t FSubLength = 0;
    bool FSubMalformed = false;
    std::vector<std::string> FNotes;
    // (command, option) pairs already sent, so that a request is answered
    // once and no negotiation loops.
    std::set<int> FSent;
};

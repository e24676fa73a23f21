#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

// The telnet layer of a COM-port-control (RFC 2217) connection: the data
// bytes travel with IAC (0xFF) doubled, and the server's negotiations and
// notifications come between them. Decode takes the received bytes in any
// pieces (a command may be split between two reads) and keeps the state
// between calls. Worker thread only.
class TelnetCodec {
public:
    // What the client sends after connecting: binary transmission both ways,
    // no go-ahead, the COM port option, and the serial line's settings:
    // `baudRate`, 8 data bits, no parity, 1 stop bit, no flow control, DTR
    // on, RTS off.
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

private:
    enum class State { Data, Iac, Option, Sub, SubIac };

    void Negotiate(uint8_t command, uint8_t option, std::vector<uint8_t>& replies);
    void Send(uint8_t command, uint8_t option, std::vector<uint8_t>& out);

    State FState = State::Data;
    uint8_t FCommand = 0;
    bool FAfterCr = false;
    bool FPeerBinary = false;
    bool FComPortConfirmed = false;
    size_t FSubLength = 0;
    // (command, option) pairs already sent, so that a request is answered
    // once and no negotiation loops.
    std::set<int> FSent;
};

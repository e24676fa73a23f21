#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The dialogue with a Hayes-compatible modem for one outgoing data call,
// without any I/O: the owner feeds it the modem's response lines and the
// passing time, writes what it asks to write, and reports the call states it
// produces (LINECALLSTATE_* values).
//
//   init string -> "OK" -> ATD<number> -> "CONNECT ..." -> connected
//                                      -> "BUSY"  -> busy, disconnected
//                                      -> "NO CARRIER", "NO ANSWER",
//                                         "NO DIALTONE", "ERROR" -> disconnected
//   no result within the no-answer limit -> the call is dropped, disconnected
//
// Once connected or disconnected the dialer is finished and ignores input.
class AtDialer {
public:
    struct Output {
        std::string write;             // bytes to send to the modem, may be empty
        std::vector<uint32_t> states;  // call states to report, in order
        bool dropCall = false;         // the owner must hang up (no-answer limit)
    };

    // `init` is sent first ("ATZ" when empty); `dialable` is the number.
    // `noAnswerMs`: limit from the dial command to the connection (120 s).
    AtDialer(std::string init, std::string dialable, int64_t noAnswerMs = 120000,
             int64_t initTimeoutMs = 5000);

    // The first command; `nowMs` is the owner's monotonic clock.
    Output Start(int64_t nowMs);
    // One line the modem sent, without its CR/LF.
    Output OnLine(const std::string& line, int64_t nowMs);
    // Time has passed; checks the limits.
    Output OnTime(int64_t nowMs);

    bool Finished() const { return phase == Phase::Connected || phase == Phase::Disconnected; }
    bool Connected() const { return phase == Phase::Connected; }

    // The speed from "CONNECT 19200"; 0 when the modem gave none.
    int ConnectSpeed() const { return connectSpeed; }

private:
    enum class Phase { Idle, Init, Dialing, Connected, Disconnected };

    Output Disconnect(Output out);

    std::string init;
    std::string dialable;
    int64_t noAnswerMs;
    int64_t initTimeoutMs;
    Phase phase = Phase::Idle;
    int64_t phaseStartMs = 0;
    int connectSpeed = 0;
};

// Keeps the characters a modem can dial: digits, * # + , W P T ! @ (letters
// in either case, given as capitals).
std::string DialableNumber(const std::string& number);

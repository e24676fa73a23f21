#pragma once

#include "SimClock.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zqsim {

struct ModemSettings {
    // Numbers are compared by their dialable characters 0-9 * # + only.
    std::vector<std::string> answer;    // numbers that answer; empty = every other number
    std::vector<std::string> busy;      // numbers that are busy
    std::vector<std::string> noAnswer;  // numbers that ring and never answer
    bool noDialtone = false;            // every dial ends in NO DIALTONE
    int ringDelayMs = 1000;             // dialling to CONNECT, BUSY or NO CARRIER
    int noAnswerAfterMs = 0;            // 0: a number that never answers stays silent
    int guardMs = 1000;                 // escape guard time before and after "+++"
    int connectRate = 19200;            // the rate in "CONNECT <rate>"
    int dropAfterMs = 0;                // carrier drops this long after CONNECT; 0 = never
    int dropAfterRequests = 0;          // carrier drops on request N + 1 of a call; 0 = never
};

// What the modem does in answer to the line or to time passing.
struct ModemOutput {
    std::string toLine;              // echo and result codes, to the host
    std::vector<uint8_t> toDevice;   // data of a call, to the device
    bool hangUp = false;             // the carrier dropped: the line is to be hung up
    std::vector<std::string> notes;  // what happened, for the log
};

// A Hayes-style modem in front of the device. Pure state machine: the
// caller passes the time with every byte block and calls Poll when the
// NextDeadline comes. Result codes are verbose, each CR LF text CR LF.
//
// Command lines start with AT (any case) and end with CR; BS deletes; other
// lines are ignored. Commands: D (dial; T, P, W, comma and the like are
// skipped), E0/E1 echo, H hang up, Z and &F reset, O back on line, I
// identification, Sn=v and Sn? registers; V, Q, X, L, M, B, N, W, Y, &C, &D,
// &K and the like are accepted and have no effect; anything else is ERROR.
// Any byte while dialling aborts the dial with NO CARRIER and starts the
// next command line. "+++" with the guard time of silence before and after
// returns to command mode with the call up (OK); ATO resumes it, ATH ends it.
// A pseudo-terminal carries no DTR, so a host that closes its port in a
// call cannot be seen; a command line (AT...CR, printable) that arrives in
// a call after the guard time of silence is taken as that host having
// dropped DTR: the call ends and the line is carried out as a command.
class ModemModel {
public:
    enum class State { Command, Dialing, Online, OnlineCommand };

    explicit ModemModel(ModemSettings settings);

    void Receive(const uint8_t* data, size_t length, SimTime now, ModemOutput& out);
    void Poll(SimTime now, ModemOutput& out);
    // When Poll has something to do next; none when nothing is pending.
    std::optional<SimTime> NextDeadline() const;

    // A request reached the device in a call. True when the carrier drops
    // instead (the request limit of the call is used up); out.hangUp is set.
    bool RequestArrives(ModemOutput& out);

    // Power-on state: command mode, echo on, no call.
    void Reset();

    State GetState() const { return state_; }
    bool EchoOn() const { return echo_; }

private:
    enum class Outcome { Connect, Busy, NoAnswer, NoCarrier };

    void CommandByte(uint8_t b, SimTime now, ModemOutput& out);
    void DataByte(uint8_t b, SimTime now, ModemOutput& out);
    void ExecuteLine(const std::string& line, SimTime now, ModemOutput& out);
    void Dial(const std::string& dialString, SimTime now, ModemOutput& out);
    void Result(const std::string& text, ModemOutput& out);
    void EndCall(const std::string& why, ModemOutput& out);
    bool Listed(const std::vector<std::string>& numbers, const std::string& number) const;

    ModemSettings settings_;
    State state_ = State::Command;
    bool echo_ = true;
    std::string line_;
    std::map<int, int> sRegisters_;
    // Dialling.
    Outcome outcome_ = Outcome::NoCarrier;
    std::optional<SimTime> dialDeadline_;
    std::string dialled_;
    // In a call.
    SimTime connectedAt_{};
    SimTime lastRx_{};
    int plusCount_ = 0;
    SimTime escapeAt_{};
    int callRequests_ = 0;
    std::string suspect_;  // a command line arriving in a call, see above
};

// The dialable characters 0-9 * # + of a number.
std::string DialDigits(const std::string& number);

}  // namespace zqsim

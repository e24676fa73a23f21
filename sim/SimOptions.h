#pragma once

#include "DeviceContent.h"
#include "DeviceModel.h"
#include "FaultPlan.h"
#include "ModemModel.h"
#include "SimSocket.h"

#include <string>
#include <vector>

namespace zqsim {

struct SimOptions {
    // Line.
    std::string devicePath;           // serial device; empty = a new pseudo-terminal
    std::string link;                 // symbolic link to the pseudo-terminal's slave
    int baud = 19200;                 // 10 bits a byte each way; 0 = no pacing
    int latencyMs = 5;                // before each answer
    double exitAfterIdleSeconds = 0;  // 0 = run until SIGTERM/SIGINT
    bool exitOnHangup = false;        // exit instead of making a fresh line
    bool log = false;
    std::string logFile;   // the log goes here instead of stderr
    std::string dumpFile;  // ring contents in read order, rewritten on every change

    DeviceSettings deviceSettings;
    ContentOptions content;
    // The devices on the line, by address in the order given: each is a
    // device of its own (see NthDeviceContent); the first is
    // deviceSettings.address.
    std::vector<uint8_t> addresses{1};

    std::vector<FaultRule> faults;
    int stopAfter = 0;    // requests answered before the device falls silent; 0 = never
    int hangupAfter = 0;  // requests before the line hangs up; 0 = never

    bool modem = false;
    ModemSettings modemSettings;

    // Every answer, on any port.
    int answerDelayMs = 0;  // held this much more before its first byte
    int segmentBytes = 0;   // written in pieces of this many bytes; 0 = whole
    int segmentGapMs = 0;   // between the pieces

    // The network instead of the line (net.mode None: the line).
    NetSettings net;
    std::string banner;    // sent first on each connection, escapes resolved
    bool tcpMute = false;  // requests are taken and never answered
    int tcpDropAfter = 0;  // a connection is closed after this many answers; 0 = never

    // A fleet on the network (with net.mode Listen): this many devices, each
    // on a listening socket of its own; 0 = one port, no fleet.
    int fleet = 0;
    int fleetRefuse = 0;  // the last this many devices refuse connections
    int fleetMute = 0;    // the this many before them take requests and never answer
};

enum class ParseOutcome { Run, Help, Version, Error };

ParseOutcome ParseSimOptions(const std::vector<std::string>& args, SimOptions& options,
                             std::string& error);

// The --help text: every option with its default.
std::string SimUsage();

// Every option name the parser knows ("--baud" ...).
std::vector<std::string> SimOptionNames();

}  // namespace zqsim

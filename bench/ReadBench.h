#pragma once

#include <cstdint>
#include <string>

// One read of a simulated device at 19200 baud, timed against the floor that
// the line allows (ReadFloor.h).
struct ReadBenchOptions {
    std::string zqsim;  // the simulator program
    uint64_t seed = 4242;
    int latencyMs = 5;    // the device's answer latency
    int maxRecords = 31;  // records per archive answer at most (the device's choice)
    // Records in the device's rings.
    int hour = 1500;
    int day = 400;
    int month = 36;
    int journal = 500;
    // >= 0: the device is reached over TCP (zqsim --tcp-listen) and every
    // answer comes this many ms late, as over a mobile network's round trip.
    int rttMs = -1;
};

// The record counts of --quick: a read of a few seconds.
ReadBenchOptions QuickReadBenchOptions(ReadBenchOptions options);

// Starts the simulator, reads it once with a ZQReadAllParamsTask ticked by a
// 100 ms QTimer as the tools tick it, checks that the read got the device's
// records, and prints the figures to standard output. Points the settings
// store at a temporary folder first. Returns 0 when the read was measured,
// 1 when it failed or did not get what the device holds. Needs a
// QCoreApplication.
int RunReadBench(const ReadBenchOptions& options);

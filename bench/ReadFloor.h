#pragma once

#include "SimRecords.h"

#include <cstddef>
#include <string>
#include <vector>

// The time the exchange discipline of the tool allows at best for a read.
//
// A task acts only on its 100 ms ticks. A step that sends nothing moves on at
// the next tick. Opening the port costs the worker's settle time. A request
// goes out on a tick and costs, one after the other: its wire time, the
// worker's sleep of 1 ms per byte sent, the device's latency, the answer's
// wire time, the silence that ends the answer and the pause before the
// completion is reported; the next step runs on the first tick after that.
// Closing the port ends the read as soon as it completes.
struct LineDiscipline {
    int baud = 19200;           // 10 bits a byte on the line, both ways
    double latencyMs = 5;       // the device's answer latency
    double msPerByteSent = 1;   // the worker's sleep after writing a request
    double silenceMs = 20;      // silence after the last byte that ends the read
    double pauseMs = 20;        // the worker's pause before the completion notice
    double openSettleMs = 300;  // the worker's wait after opening the port
    double tickMs = 100;        // the task timer
    double target = 1.10;       // measured / floor at most
};

// The discipline over TCP: the device's latency plus a round trip of
// `rttMs` before each answer, nothing of the serial worker's waiting, the
// connection made at once; target within 5 % of the floor.
LineDiscipline NetworkDiscipline(double latencyMs, double rttMs);

// What one tick of the task did, as far as the floor is concerned.
enum class TickAction {
    Nothing,  // the step had nothing to send (step 0, a skipped archive)
    Open,     // the channel was created and its open queued
    Request,  // a request went out
    Close,    // the close was queued: the last step
};

// Time of `bytes` on the line at `baud`, 10 bits a byte, in ms.
double WireMs(size_t bytes, int baud);

// From a request going out to its completion being reported, in ms.
double ExchangeCostMs(const Exchange& exchange, const LineDiscipline& line);

// Whole ticks needed to cover `ms`: the next step waits for the first tick
// at or after the end of the work.
int TicksToCover(double ms, double tickMs);

struct ReadFloor {
    int nothingTicks = 0;  // steps that sent nothing, one tick each
    int openTicks = 0;
    int requestTicks = 0;
    double requestCostMs = 0;      // sum of the exchange costs, before rounding to ticks
    std::vector<int> actionTicks;  // ticks each action costs, in the order of the actions
    int TotalTicks() const { return nothingTicks + openTicks + requestTicks; }
};

// The floor of a read whose ticks did `actions`, the k-th Request being the
// k-th of `exchanges`. False, with `error`, when the two do not fit together:
// a request count that differs, an unanswered request, a close that is not
// the last action.
bool ComputeReadFloor(const std::vector<TickAction>& actions,
                      const std::vector<Exchange>& exchanges, const LineDiscipline& line,
                      ReadFloor& floor, std::string& error);

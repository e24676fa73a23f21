#pragma once

#include "SimRecords.h"

#include <cstddef>
#include <string>
#include <vector>

// Two floors for one read: what the line allows at best, and what the tool
// allowed when every step waited for a tick of its timer.

// The wire floor: the time the line and the device take, whatever the tool
// does. Every byte crosses the line at 10 bits a byte, both ways; before
// each answer the device hears the request's end (its silence of 3.5
// characters, with the device's rounding) and waits its latency, and over a
// network the round trip comes on top; opening a serial port costs the
// device's settle time once.
struct WireDiscipline {
    int baud = 19200;
    double latencyMs = 5;       // the device's answer latency
    double endGapMs = 5;        // the device hearing the request's end
    double rttMs = 0;           // a network's round trip before each answer
    double openSettleMs = 300;  // the settle after opening a serial port
    double target = 1.10;       // measured / floor at most
};

// The wire floor over TCP: the round trip of `rttMs` before every answer, a
// connection made at once and nothing to settle; target within 2 %.
WireDiscipline NetworkWire(double latencyMs, double rttMs);

// Time of `bytes` on the line at `baud`, 10 bits a byte, in ms.
double WireMs(size_t bytes, int baud);

// One request's part of the wire floor: both frames, the end gap, the
// latency and the round trip, in ms.
double RequestFloorMs(const Exchange& exchange, const WireDiscipline& line);

// The whole read's wire floor: the settle and every request's part.
double WireFloorMs(const std::vector<Exchange>& exchanges, const WireDiscipline& line);

// The tick floor: the same read under the discipline of a task that acted
// only on its 100 ms ticks. A step that sent nothing moved on at the next
// tick. Opening the port cost the worker's settle time. A request went out
// on a tick and cost, one after the other: its wire time, the worker's
// sleep of 1 ms per byte sent, the device's latency, the answer's wire
// time, the silence that ended the answer and the pause before the
// completion was reported; the next step ran on the first tick after that.
// Closing the port ended the read as soon as it completed.
struct TickDiscipline {
    int baud = 19200;           // 10 bits a byte on the line, both ways
    double latencyMs = 5;       // the device's answer latency
    double msPerByteSent = 1;   // the worker's sleep after writing a request
    double silenceMs = 20;      // silence after the last byte that ends the read
    double pauseMs = 20;        // the worker's pause before the completion notice
    double openSettleMs = 300;  // the worker's wait after opening the port
    double tickMs = 100;        // the task timer
};

// The tick discipline over TCP: the device's latency plus a round trip of
// `rttMs` before each answer, nothing of the serial worker's waiting, the
// connection made within one tick.
TickDiscipline NetworkTicks(double latencyMs, double rttMs);

// What one step of the task did, as far as the floors are concerned.
enum class TickAction {
    Nothing,  // the step had nothing to send (step 0, a skipped archive)
    Open,     // the channel was created and its open queued
    Request,  // a request went out
    Close,    // the close was queued: the last step
};

// From a request going out to its completion being reported under the tick
// discipline, in ms.
double ExchangeCostMs(const Exchange& exchange, const TickDiscipline& line);

// Whole ticks needed to cover `ms`: the next step waits for the first tick
// at or after the end of the work.
int TicksToCover(double ms, double tickMs);

struct TickFloor {
    int nothingTicks = 0;  // steps that sent nothing, one tick each
    int openTicks = 0;
    int requestTicks = 0;
    double requestCostMs = 0;      // sum of the exchange costs, before rounding to ticks
    std::vector<int> actionTicks;  // ticks each action costs, in the order of the actions
    int TotalTicks() const { return nothingTicks + openTicks + requestTicks; }
};

// The tick floor of a read whose steps did `actions`, the k-th Request
// being the k-th of `exchanges`. False, with `error`, when the two do not
// fit together: a request count that differs, an unanswered request, a
// close that is not the last action.
bool ComputeTickFloor(const std::vector<TickAction>& actions,
                      const std::vector<Exchange>& exchanges, const TickDiscipline& line,
                      TickFloor& floor, std::string& error);

#pragma once

#include "ChanelSetupStruct.h"
#include "TQueueIDChanel.h"

#include <cstdint>
#include <memory>
#include <string>

// How answers are awaited: the ordinary exchange, or a search that asks many
// addresses and gives each a short time.
enum class AnswerPace { Ordinary, Quick };

// The ways to reach the device: the values of CurrentChanel. Nothing else
// in the program spells these numbers.
enum ChanelType : int32_t { ctComPort = 0, ctModem = 1, ctNetwork = 2 };

// One way to reach the device, by the value of CurrentChanel: how its channel
// is made and opened, and how long one answer may take over it. Adding a way
// is adding a row to the table in ChanelKinds.cpp.
struct ChanelKind {
    int32_t type;      // CurrentChanel
    const char* name;  // as the user reads it before the connection's own text
    // The longest a channel of this kind spends on one request, ms, by
    // pace: its own answer time-out, plus what the transfer takes besides
    // (the request going out, the pause after the answer, the purge before).
    int answerMs;
    int quickAnswerMs;
    int overheadMs;
    std::unique_ptr<TQueueIDChanel> (*make)();
    // Opens a channel that `make` made and whose events are bound; the
    // outcome arrives as its state events.
    void (*open)(TQueueIDChanel& chanel, const ChanelSetupStruct& setup, AnswerPace pace);
};

// The row for `type`, or null for a type no row knows.
const ChanelKind* FindChanelKind(int32_t type);

// Ticks of 100 ms a task waits for an answer over `kind` at `pace`: the
// channel's own limit, in whole ticks; one more, since the first tick may
// come at once after the request went out; and one of margin, so that the
// channel's verdict always comes first.
int AnswerTicks(const ChanelKind& kind, AnswerPace pace);

// The connection `setup` chooses, as the user reads it ("COM порт COM3",
// "модем Zyxel, 123", "сеть 10.0.0.5:4001"); "не задано" for no known kind.
std::string DescribeConnection(const ChanelSetupStruct& setup);

#pragma once

#include "ChanelSetupStruct.h"
#include "TQueueIDChanel.h"

#include <cstdint>
#include <memory>

// How answers are awaited: the ordinary exchange, or a search that asks many
// addresses and gives each a short time.
enum class AnswerPace { Ordinary, Quick };

// One way to reach the device, by the value of CurrentChanel: how its channel
// is made and opened, and how long a task waits for an answer over it.
// Adding a way is adding a row to the table in ChanelKinds.cpp.
struct ChanelKind {
    int32_t type;  // CurrentChanel
    // Ticks of 100 ms before an unanswered request counts as lost, by pace.
    int answerTicks;
    int quickAnswerTicks;
    std::unique_ptr<TQueueIDChanel> (*make)();
    // Opens a channel that `make` made and whose events are bound; the
    // outcome arrives as its state events.
    void (*open)(TQueueIDChanel& chanel, const ChanelSetupStruct& setup, AnswerPace pace);
};

// The row for `type`, or null for a type no row knows.
const ChanelKind* FindChanelKind(int32_t type);

#pragma once

#include <cstdint>
#include <string>

// Flags of a queue slot. Bits 0-7 hold the condition pattern, bits 8-15 the
// condition mask: the slot runs only when the outcomes of the latest commands
// (History, bit 0 = the latest, 1 = succeeded) under the mask equal the
// pattern under the mask.
constexpr uint32_t qfAlways = 0x10000;      // join the queue whatever is pending
constexpr uint32_t qfExclusive = 0x20000;   // only into an empty queue
constexpr uint32_t qfDropIfBusy = 0x40000;  // refused: dropped silently instead of raising

constexpr uint32_t QueueCondition(uint8_t mask, uint8_t pattern) {
    return (static_cast<uint32_t>(mask) << 8) | pattern;
}

// One slot of the command queue.
template <typename TData>
struct QueueItem {
    int32_t Command = 0;  // the worker sets -1 in a slot it skipped
    uint32_t Flags = 0;
    TData Data{};
    // Text of the error that ended the command; overwritten by the next
    // failure in this slot, never cleared.
    std::string Message;
};

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zqsim {

// One 16-byte archive or journal slot, bytes exactly as the device sends them.
using Record = std::array<uint8_t, 16>;

// An erased slot: all 0xFF.
Record ErasedRecord();

// One ring memory of the device: Highest() + 1 slots (1..65536), the oldest
// record at `oldest`, the next record goes to `next`. The ring is empty when
// next == oldest, so it holds at most Highest() records. Index arithmetic is
// 16-bit unsigned, as on the device.
struct RingMemory {
    std::vector<Record> slots{ErasedRecord()};
    uint16_t oldest = 0;
    uint16_t next = 0;

    uint16_t Highest() const { return static_cast<uint16_t>(slots.size() - 1); }
    // next - oldest, or Highest() - oldest + next + 1 when the ring wraps.
    uint16_t Count() const;
    // next - 1, or Highest() when next is 0.
    uint16_t NewestIndex() const;
    // True when the slot holds one of the Count() records.
    bool Holds(uint16_t index) const;
    // The index before `index` going towards the oldest: index - 1, 0 -> Highest().
    uint16_t Previous(uint16_t index) const;
    // The live slots from the newest to the oldest: the order the tool reads them.
    std::vector<uint16_t> ReadOrder() const;
    // Writes `record` as the newest, as the device does when a period ends:
    // a full ring loses its oldest record.
    void Append(const Record& record);
    // A ring of `size` slots whose `records` (oldest first) start at `oldestIndex`.
    // Slots outside the records are erased. Requires records.size() < size.
    static RingMemory Make(size_t size, uint16_t oldestIndex, const std::vector<Record>& records);
};

}  // namespace zqsim

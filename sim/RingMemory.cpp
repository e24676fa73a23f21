#include "RingMemory.h"

namespace zqsim {

Record ErasedRecord() {
    Record r;
    r.fill(0xFF);
    return r;
}

uint16_t RingMemory::Count() const {
    if (next >= oldest) {
        return static_cast<uint16_t>(next - oldest);
    }
    return static_cast<uint16_t>(Highest() - oldest + next + 1);
}

uint16_t RingMemory::NewestIndex() const {
    return next > 0 ? static_cast<uint16_t>(next - 1) : Highest();
}

bool RingMemory::Holds(uint16_t index) const {
    if (index > Highest()) {
        return false;
    }
    if (next >= oldest) {
        return index >= oldest && index < next;
    }
    return index >= oldest || index < next;
}

uint16_t RingMemory::Previous(uint16_t index) const {
    return index == 0 ? Highest() : static_cast<uint16_t>(index - 1);
}

std::vector<uint16_t> RingMemory::ReadOrder() const {
    std::vector<uint16_t> order;
    const uint16_t count = Count();
    order.reserve(count);
    uint16_t index = NewestIndex();
    for (uint16_t i = 0; i < count; ++i) {
        order.push_back(index);
        index = Previous(index);
    }
    return order;
}

void RingMemory::Append(const Record& record) {
    slots[next] = record;
    next = static_cast<uint16_t>((next + 1u) % slots.size());
    if (next == oldest) {
        oldest = static_cast<uint16_t>((oldest + 1u) % slots.size());
    }
}

RingMemory RingMemory::Make(size_t size, uint16_t oldestIndex, const std::vector<Record>& records) {
    RingMemory ring;
    ring.slots.assign(size, ErasedRecord());
    ring.oldest = static_cast<uint16_t>(oldestIndex % size);
    size_t index = ring.oldest;
    for (const Record& r : records) {
        ring.slots[index] = r;
        index = (index + 1) % size;
    }
    ring.next = static_cast<uint16_t>(index);
    return ring;
}

}  // namespace zqsim

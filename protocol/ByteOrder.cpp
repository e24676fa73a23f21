#include "ByteOrder.h"

#include <cstddef>
#include <utility>
#include <vector>

uint16_t Swap16(uint16_t value) {
    return static_cast<uint16_t>((value >> 8) | (value << 8));
}

void Swap32(uint8_t* regs) {
    std::swap(regs[0], regs[3]);
    std::swap(regs[1], regs[2]);
}

void ConvertByteOrder(uint8_t* block, int regCount, const ByteOrderEntry* table, int rowCount) {
    if (table == nullptr || rowCount <= 0) {
        return;
    }
    // The run lengths are counted down on a private copy.
    std::vector<ByteOrderEntry> rows(table, table + rowCount);
    std::size_t row = 0;
    int n = regCount;
    uint8_t* p = block;
    while (row < rows.size() && n > 0) {
        ByteOrderEntry& entry = rows[row];
        if (entry.count == 0) {
            ++row;
            continue;
        }
        switch (entry.kind) {
            case 0:
                std::swap(p[0], p[1]);
                p += 2;
                n -= 1;
                break;
            case 1:
                // A 32-bit item needs both of its registers inside the block.
                if (n < 2) {
                    n = 0;
                    break;
                }
                Swap32(p);
                p += 4;
                n -= 2;
                break;
            case 2:
                p += 2;
                n -= 1;
                break;
            default:
                n = 0;
                break;
        }
        --entry.count;
    }
}

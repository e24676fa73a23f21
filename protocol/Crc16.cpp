#include "Crc16.h"

#include <array>

namespace {

constexpr std::array<uint16_t, 256> MakeCrcTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<uint16_t>(crc >> 1);
        }
        table[i] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0xC0C1 && kCrcTable[2] == 0xC181 && kCrcTable[3] == 0x0140);

}  // namespace

uint16_t Crc16Update(uint16_t crc, uint8_t byte) {
    return static_cast<uint16_t>(kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8));
}

uint16_t Crc16(const uint8_t* data, size_t length) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc = Crc16Update(crc, data[i]);
    }
    return crc;
}

bool CheckFrameCrc(const uint8_t* data, size_t length) {
    if (length < 3) {
        return false;
    }
    const uint16_t stored = static_cast<uint16_t>(data[length - 2] | (data[length - 1] << 8));
    return Crc16(data, length - 2) == stored;
}

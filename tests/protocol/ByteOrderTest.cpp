#include "ByteOrder.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

std::vector<uint8_t> Sequence(size_t n) {
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), 0);
    return v;
}

TEST(ByteOrder, Swaps) {
    EXPECT_EQ(Swap16(0x1234), 0x3412);
    uint8_t four[] = {1, 2, 3, 4};
    Swap32(four);
    EXPECT_EQ(std::vector<uint8_t>(four, four + 4), (std::vector<uint8_t>{4, 3, 2, 1}));
}

// The current-parameter table over 56 registers: 32 swapped registers, then
// twelve 32-bit values; registers beyond 56 stay untouched.
TEST(ByteOrder, CurrentBlockStopsAtRegisterCount) {
    const ByteOrderEntry table[] = {{0, 32}, {1, 20}};
    std::vector<uint8_t> block = Sequence(128);
    ConvertByteOrder(block.data(), 56, table, 2);
    EXPECT_EQ(block[0], 1);
    EXPECT_EQ(block[1], 0);
    EXPECT_EQ(block[62], 63);
    EXPECT_EQ(block[63], 62);
    // First 32-bit value: bytes 64..67 reversed.
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + 64, block.begin() + 68),
              (std::vector<uint8_t>{67, 66, 65, 64}));
    // Last converted value: bytes 108..111.
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + 108, block.begin() + 112),
              (std::vector<uint8_t>{111, 110, 109, 108}));
    for (int i = 112; i < 128; ++i) {
        EXPECT_EQ(block[i], i);
    }
}

TEST(ByteOrder, StopsAtEndOfTable) {
    const ByteOrderEntry table[] = {{0, 2}};
    std::vector<uint8_t> block = Sequence(8);
    ConvertByteOrder(block.data(), 4, table, 1);
    EXPECT_EQ(block, (std::vector<uint8_t>{1, 0, 3, 2, 4, 5, 6, 7}));
}

TEST(ByteOrder, KindTwoSkipsAndUnknownKindEnds) {
    const ByteOrderEntry table[] = {{2, 1}, {0, 1}, {7, 1}, {0, 5}};
    std::vector<uint8_t> block = Sequence(10);
    ConvertByteOrder(block.data(), 5, table, 4);
    EXPECT_EQ(block, (std::vector<uint8_t>{0, 1, 3, 2, 4, 5, 6, 7, 8, 9}));
}

TEST(ByteOrder, ZeroRunsAreSkipped) {
    const ByteOrderEntry table[] = {{0, 0}, {1, 1}};
    std::vector<uint8_t> block = Sequence(4);
    ConvertByteOrder(block.data(), 2, table, 2);
    EXPECT_EQ(block, (std::vector<uint8_t>{3, 2, 1, 0}));
}

// A 32-bit item that would straddle the end of the block is not converted,
// so the walk never touches bytes past regCount registers.
TEST(ByteOrder, HalfValueAtEndIsLeftAlone) {
    const ByteOrderEntry table[] = {{0, 1}, {1, 5}};
    std::vector<uint8_t> block = Sequence(4);
    ConvertByteOrder(block.data(), 2, table, 2);
    EXPECT_EQ(block, (std::vector<uint8_t>{1, 0, 2, 3}));
}

TEST(ByteOrder, ConversionIsItsOwnInverse) {
    const ByteOrderEntry table[] = {{0, 16}};
    std::vector<uint8_t> block = Sequence(32);
    const std::vector<uint8_t> original = block;
    ConvertByteOrder(block.data(), 11, table, 1);
    EXPECT_NE(block, original);
    ConvertByteOrder(block.data(), 11, table, 1);
    EXPECT_EQ(block, original);
}

}  // namespace

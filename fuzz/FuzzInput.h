#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// The bytes of one fuzz input, taken from the front. Past the end every
// read gives zeros, so a short input is still a whole (if dull) one.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return pos_ >= size_; }
    size_t Left() const { return Empty() ? 0 : size_ - pos_; }

    uint8_t Byte() { return Empty() ? 0 : data_[pos_++]; }
    // Low byte first.
    uint16_t U16() {
        const uint16_t low = Byte();
        return static_cast<uint16_t>(low | (Byte() << 8));
    }
    uint32_t U32() {
        const uint32_t low = U16();
        return low | (static_cast<uint32_t>(U16()) << 16);
    }
    // `count` bytes; zeros for the part past the end.
    std::vector<uint8_t> Bytes(size_t count) {
        std::vector<uint8_t> out(count, 0);
        for (size_t i = 0; i < count && !Empty(); ++i) {
            out[i] = data_[pos_++];
        }
        return out;
    }
    // Whatever is left.
    std::vector<uint8_t> Rest() { return Bytes(Left()); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// A property that must hold for every input; a failure stops the run the way
// a sanitizer does, so the fuzzer keeps the input.
#define FUZZ_CHECK(condition, what)                                                         \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            std::fprintf(stderr, "%s:%d: %s (%s)\n", __FILE__, __LINE__, what, #condition); \
            std::abort();                                                                   \
        }                                                                                   \
    } while (0)

#pragma once

#include <cstdint>

namespace comprt {

// Time-outs of a port, in ms, set by the channel's worker.
//
// A read ends when its buffer is full; or, once a byte has come, at the first
// silence of ReadIntervalTimeout (0: no interval rule; kReadOnArrival: at
// once, with the bytes there are); or when the total time
// ReadTotalTimeoutMultiplier * size + ReadTotalTimeoutConstant has passed
// since the read began (0: no total limit, the read waits for bytes).
// A write is limited the same way by the write pair (0: no limit).
struct CommTimeouts {
    // ReadIntervalTimeout for a read that returns as soon as bytes are there:
    // the reader judges them and reads again (an answer whose length its
    // header tells is whole without any silence after it).
    static constexpr uint32_t kReadOnArrival = 0xFFFFFFFF;

    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

}  // namespace comprt

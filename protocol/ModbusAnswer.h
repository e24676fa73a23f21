#pragma once

#include <cstddef>
#include <cstdint>

// Where the answer to a request lies among the bytes received so far, for a
// link that keeps no gaps between frames (a TCP stream: one answer may come
// in several pieces, and a modem's text may come before it).
struct AnswerSpan {
    // Bytes in front that cannot begin the answer (all of them when no
    // answer begins yet).
    size_t start = 0;
    // The whole answer's length, CRC included, once its header has arrived;
    // 0 while it is not known yet.
    size_t length = 0;
    // False when the function's answer carries no length of its own; the
    // answer then ends where the bytes stop coming.
    bool framed = true;
};

// An answer begins with the request's address (any address when the request
// went to address 0) and the request's function, or its exception form
// (bit 7 set). Its length follows from its header: an exception 5 bytes;
// functions 1, 2, 3, 4 and 17 a byte count in byte 2 (5 + count); 5, 6, 15
// and 16 eight bytes; the device's function 65 a record count in byte 6
// (9 + 16 × count). `request` holds at least the address and the function;
// nothing beyond `size` bytes of `data` is read.
AnswerSpan LocateAnswer(const uint8_t* request, size_t requestLength, const uint8_t* data,
                        size_t size);

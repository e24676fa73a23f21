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

// The longest answer any request can have: the device's function 65 with
// 255 records.
constexpr size_t kMaxAnswerLength = 7 + 16 * 255 + 2;

// True when the `size` bytes at `data` may begin the answer to `request`
// (at least its address and function): the request's address (any address
// when the request went to address 0), then the request's function or its
// exception form (bit 7 set). One byte is judged on the address alone.
bool AnswerMayBegin(const uint8_t* request, const uint8_t* data, size_t size);

// The length of the answer to `request` that begins at `data` (it may
// begin there), CRC included, from its header: an exception 5 bytes;
// functions 1, 2, 3, 4 and 17 a byte count in byte 2 (5 + count); 5, 6, 15
// and 16 eight bytes; the device's function 65 a record count in byte 6
// (9 + 16 × count). 0 while the byte that tells has not arrived; `framed`
// false for a function whose answer carries no length.
AnswerSpan MeasureAnswer(const uint8_t* request, const uint8_t* data, size_t size);

// Where the answer to `request` begins in `data` and how long it is: the
// first place it may begin (AnswerMayBegin), measured there. `request`
// holds at least the address and the function; nothing beyond `size` bytes
// of `data` is read.
AnswerSpan LocateAnswer(const uint8_t* request, size_t requestLength, const uint8_t* data,
                        size_t size);

// True when `answer`, a whole frame of `length` bytes whose CRC is right,
// is the answer to `request` (a whole request frame) as far as its own
// bytes tell: it may begin that answer, has the length its header gives,
// and repeats what the answer repeats of the request. An exception answers
// any request of its function. Function 3 and 4: 2 bytes a register asked.
// 5, 6: the request's address and value; 15, 16: its first register and
// count. 65 (the device's archive read: kind, 1, start index low byte
// first, count): the kind, at most the records asked, and, when the start
// index is at least the number of records, the index the records end at
// (start - records; over the ring's start it depends on the ring's size,
// which only the reader knows).
bool AnswerFits(const uint8_t* request, size_t requestLength, const uint8_t* answer, size_t length);

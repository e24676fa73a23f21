#include "ModbusAnswer.h"

#include "ModbusFrames.h"

namespace {

constexpr uint8_t kExceptionBit = 0x80;
constexpr size_t kExceptionLength = 5;
// The device's archive page read: 7 header bytes, 16 per record, the CRC.
constexpr size_t kArchiveHeader = 7;
constexpr size_t kArchiveRecord = 16;

bool MayBegin(uint8_t address, uint8_t function, const uint8_t* data, size_t left) {
    if (address != 0 && data[0] != address) {
        return false;
    }
    return left < 2 || (data[1] & 0x7F) == function;
}

// Length of the answer at `data` (its address and function match), 0 while
// the byte that tells it has not arrived.
AnswerSpan Measure(uint8_t function, const uint8_t* data, size_t left) {
    AnswerSpan span;
    if (left < 2) {
        return span;
    }
    if (data[1] & kExceptionBit) {
        span.length = kExceptionLength;
        return span;
    }
    switch (function) {
        case 1:  // read coils
        case 2:  // read discrete inputs
        case kFuncReadHolding:
        case kFuncReadInput:
        case kFuncReportSlaveId:
            if (left > 2) {
                span.length = 5 + static_cast<size_t>(data[2]);
            }
            break;
        case 5:   // write one coil
        case 6:   // write one register
        case 15:  // write coils
        case kFuncWriteMultiple:
            span.length = 8;
            break;
        case kFuncArchive:
            if (left > 6) {
                span.length = kArchiveHeader + kArchiveRecord * data[6] + 2;
            }
            break;
        default:
            span.framed = false;
            break;
    }
    return span;
}

}  // namespace

AnswerSpan LocateAnswer(const uint8_t* request, size_t requestLength, const uint8_t* data,
                        size_t size) {
    AnswerSpan span;
    span.start = size;
    if (request == nullptr || requestLength < 2) {
        span.start = 0;
        span.framed = false;
        return span;
    }
    const uint8_t address = request[0];
    const uint8_t function = request[1];
    for (size_t i = 0; i < size; ++i) {
        if (MayBegin(address, function, data + i, size - i)) {
            AnswerSpan found = Measure(function, data + i, size - i);
            found.start = i;
            return found;
        }
    }
    return span;
}

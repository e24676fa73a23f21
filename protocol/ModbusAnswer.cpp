#include "ModbusAnswer.h"

#include "ModbusFrames.h"

#include <cstring>

namespace {

constexpr uint8_t kExceptionBit = 0x80;
constexpr size_t kExceptionLength = 5;
// The device's archive page read: 7 header bytes, 16 per record, the CRC.
constexpr size_t kArchiveHeader = 7;
constexpr size_t kArchiveRecord = 16;
// Request frame lengths, CRC included, of the functions whose answers
// repeat part of the request.
constexpr size_t kRegisterRequestLength = 8;
constexpr size_t kArchiveRequestLength = 9;

uint16_t Be16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

}  // namespace

bool AnswerMayBegin(const uint8_t* request, const uint8_t* data, size_t size) {
    if (size == 0) {
        return false;
    }
    const uint8_t address = request[0];
    if (address != 0 && data[0] != address) {
        return false;
    }
    return size < 2 || (data[1] & 0x7F) == request[1];
}

AnswerSpan MeasureAnswer(const uint8_t* request, const uint8_t* data, size_t size) {
    AnswerSpan span;
    if (size < 2) {
        return span;
    }
    if (data[1] & kExceptionBit) {
        span.length = kExceptionLength;
        return span;
    }
    switch (request[1]) {
        case 1:  // read coils
        case 2:  // read discrete inputs
        case kFuncReadHolding:
        case kFuncReadInput:
        case kFuncReportSlaveId:
            if (size > 2) {
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
            if (size > 6) {
                span.length = kArchiveHeader + kArchiveRecord * data[6] + 2;
            }
            break;
        default:
            span.framed = false;
            break;
    }
    return span;
}

AnswerSpan LocateAnswer(const uint8_t* request, size_t requestLength, const uint8_t* data,
                        size_t size) {
    AnswerSpan span;
    span.start = size;
    if (request == nullptr || requestLength < 2) {
        span.start = 0;
        span.framed = false;
        return span;
    }
    for (size_t i = 0; i < size; ++i) {
        if (AnswerMayBegin(request, data + i, size - i)) {
            AnswerSpan found = MeasureAnswer(request, data + i, size - i);
            found.start = i;
            return found;
        }
    }
    return span;
}

bool AnswerFits(const uint8_t* request, size_t requestLength, const uint8_t* answer,
                size_t length) {
    if (request == nullptr || answer == nullptr || requestLength < 2 || length < 4 ||
        !AnswerMayBegin(request, answer, length)) {
        return false;
    }
    const AnswerSpan span = MeasureAnswer(request, answer, length);
    if (span.framed && span.length != length) {
        return false;
    }
    if (answer[1] & kExceptionBit) {
        return true;
    }
    switch (request[1]) {
        case kFuncReadHolding:
        case kFuncReadInput:
            return requestLength < kRegisterRequestLength || answer[2] == 2 * Be16(request + 4);
        case 5:
        case 6:
        case 15:
        case kFuncWriteMultiple:
            return requestLength < kRegisterRequestLength ||
                   std::memcmp(answer + 2, request + 2, 4) == 0;
        case kFuncArchive: {
            if (requestLength < kArchiveRequestLength) {
                return true;
            }
            const unsigned asked = request[6];
            const unsigned records = answer[6];
            if (answer[2] != request[2] || records > asked) {
                return false;
            }
            const unsigned start = request[4] | (request[5] << 8);
            const unsigned end = answer[4] | (answer[5] << 8);
            return start < records || end == start - records;
        }
        default:
            return true;
    }
}

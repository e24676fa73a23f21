// The Modbus frame builders with any capacity and arguments, the byte-order
// conversion with any table, and the checks of answers on any bytes. A
// builder either makes a whole frame inside the capacity or touches nothing;
// a check reads only the bytes it was given.
#include "ByteOrder.h"
#include "Crc16.h"
#include "DeviceAnswers.h"
#include "FuzzInput.h"
#include "ModbusAnswer.h"
#include "ModbusFrames.h"
#include "ParamsRegisters.h"

#include <cstring>
#include <memory>

namespace {

constexpr int kBufferSize = 300;
constexpr uint8_t kUntouched = 0xA5;

struct Frame {
    uint8_t bytes[kBufferSize];
    Frame() { std::memset(bytes, kUntouched, sizeof bytes); }
    bool UntouchedFrom(int from) const {
        for (int i = from < 0 ? 0 : from; i < kBufferSize; ++i) {
            if (bytes[i] != kUntouched) {
                return false;
            }
        }
        return true;
    }
};

// What every builder promises: a frame of `needed` bytes (64-bit, so no
// overflow hides) when it fits the capacity, else nothing written.
void CheckBuilt(bool built, const Frame& frame, int capacity, int length, int64_t needed,
                uint8_t address, uint8_t function) {
    if (!built) {
        FUZZ_CHECK(frame.UntouchedFrom(0), "a refused frame was written");
        FUZZ_CHECK(length == capacity || length == needed, "a refused frame reports a wrong size");
        return;
    }
    FUZZ_CHECK(needed <= capacity && length == needed, "a frame longer than its buffer");
    FUZZ_CHECK(frame.UntouchedFrom(length), "bytes written behind the frame");
    FUZZ_CHECK(CheckFrameCrc(frame.bytes, static_cast<size_t>(length)), "a frame with a bad CRC");
    FUZZ_CHECK(frame.bytes[0] == address && frame.bytes[1] == function, "a frame's head is wrong");
}

void Builders(FuzzInput& in) {
    const int capacity = in.U16() % kBufferSize;
    const uint8_t address = in.Byte();
    Frame frame;
    int length = capacity;
    switch (in.Byte() % 4) {
        case 0: {
            const bool built = BuildReportSlaveId(frame.bytes, length, address);
            CheckBuilt(built, frame, capacity, length, 4, address, kFuncReportSlaveId);
            break;
        }
        case 1: {
            const uint16_t reg = in.U16();
            const uint16_t count = in.U16();
            const bool built = BuildReadRegisters(frame.bytes, length, address, reg, count);
            CheckBuilt(built, frame, capacity, length, 8, address,
                       reg / 10000 == 3 ? kFuncReadInput : kFuncReadHolding);
            break;
        }
        case 2: {
            const uint16_t reg = in.U16();
            const uint16_t count = in.U16();
            const std::vector<uint8_t> data = in.Bytes(kBufferSize);
            const bool built =
                BuildWriteRegisters(frame.bytes, length, address, data.data(), reg, count);
            const int64_t needed = 2 * static_cast<int64_t>(count) + 9;
            FUZZ_CHECK(!built || needed <= 255, "a write of more than 123 registers");
            CheckBuilt(built, frame, capacity, length, needed, address, kFuncWriteMultiple);
            break;
        }
        default: {
            const uint8_t function = in.Byte();
            const int32_t dataLength = static_cast<int32_t>(in.U32());
            const std::vector<uint8_t> data = in.Bytes(kBufferSize);
            const bool built =
                BuildFunctionFrame(frame.bytes, length, address, function, data.data(), dataLength);
            FUZZ_CHECK(!built || dataLength >= 0, "a frame of negative length");
            CheckBuilt(built, frame, capacity, length, static_cast<int64_t>(dataLength) + 4,
                       address, function);
            if (built) {
                FUZZ_CHECK(std::memcmp(frame.bytes + 2, data.data(), dataLength) == 0,
                           "the data bytes changed");
            }
            break;
        }
    }
}

// Any table on a block of exactly the registers named: nothing outside the
// block moves, and converting twice gives the block back.
void Conversion(FuzzInput& in) {
    const int regCount = in.Byte() % 80;
    const int rowCount = in.Byte() % 8;
    std::vector<ByteOrderEntry> rows;
    for (int i = 0; i < rowCount; ++i) {
        const int32_t kind = static_cast<int8_t>(in.Byte());
        rows.push_back({kind, in.Byte()});
    }
    const std::vector<uint8_t> original = in.Bytes(2 * static_cast<size_t>(regCount));
    const std::unique_ptr<uint8_t[]> block(new uint8_t[original.size()]);
    std::copy(original.begin(), original.end(), block.get());
    ConvertByteOrder(block.get(), regCount, rows.empty() ? nullptr : rows.data(), rowCount);
    ConvertByteOrder(block.get(), regCount, rows.empty() ? nullptr : rows.data(), rowCount);
    FUZZ_CHECK(std::equal(original.begin(), original.end(), block.get()),
               "a conversion that is not its own inverse");
}

// The answer checks on exactly the bytes received.
void Answers(FuzzInput& in) {
    const std::vector<uint8_t> rest = in.Rest();
    const size_t size = rest.size();
    const std::unique_ptr<uint8_t[]> answer(new uint8_t[size]);
    std::copy(rest.begin(), rest.end(), answer.get());
    const uint8_t* data = answer.get();
    const int length = static_cast<int>(size);

    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc = Crc16Update(crc, data[i]);
    }
    FUZZ_CHECK(crc == Crc16(data, size), "two CRCs of the same bytes differ");
    const bool crcOk = CheckFrameCrc(data, size);
    FUZZ_CHECK(!crcOk || size >= 3, "a CRC check passed on too few bytes");
    if (size >= 3) {
        FUZZ_CHECK(!ModbusErrorText(data[2]).empty(), "an exception without its text");
    }

    uint8_t ident[4] = {};
    const std::string identError = CheckIdentAnswer(data, length, ident);
    FUZZ_CHECK(!identError.empty() || data[9] <= 1, "an unknown version accepted");
    uint8_t current[kCurrentParamsBytes];
    CurrentParamsStruct currentRecord;
    const bool currentOk = DecodeCurrentParamsAnswer(data, length, current, currentRecord);
    FUZZ_CHECK(!currentOk || length >= 3 + kCurrentParamsBytes + 2,
               "current parameters from a short answer");
    uint8_t setup[kSetupParamsBytes];
    SetupParamsStruct setupRecord;
    const bool setupOk = DecodeSetupParamsAnswer(data, length, setup, setupRecord);
    FUZZ_CHECK(!setupOk || length >= 3 + kSetupParamsBytes + 2,
               "setup parameters from a short answer");
}

// Where an answer lies in a stream's bytes: inside them, at a byte that
// may begin it, and once its length is known, not shorter than the
// shortest answer.
void Stream(FuzzInput& in) {
    const std::vector<uint8_t> request = in.Bytes(in.Byte() % 8);
    const std::vector<uint8_t> rest = in.Rest();
    const std::unique_ptr<uint8_t[]> bytes(new uint8_t[rest.size()]);
    std::copy(rest.begin(), rest.end(), bytes.get());
    const AnswerSpan span = LocateAnswer(request.data(), request.size(), bytes.get(), rest.size());
    FUZZ_CHECK(span.start <= rest.size(), "an answer beginning behind the bytes");
    if (request.size() >= 2 && span.start < rest.size()) {
        FUZZ_CHECK(request[0] == 0 || bytes[span.start] == request[0],
                   "an answer from another address");
    }
    FUZZ_CHECK(span.length == 0 || span.length >= 5, "an answer shorter than any");
    FUZZ_CHECK(span.framed || span.length == 0, "a length for an answer without one");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    // 255 came after the other three, whose inputs keep their meaning.
    const uint8_t choice = in.Byte();
    if (choice == 255) {
        Stream(in);
        return 0;
    }
    switch (choice % 3) {
        case 0:
            Builders(in);
            break;
        case 1:
            Conversion(in);
            break;
        default:
            Answers(in);
            break;
    }
    return 0;
}

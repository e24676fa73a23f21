#pragma once

#include "CivilTime.h"
#include "DeviceContent.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace zqsim {

// Modbus exception codes the device sends.
constexpr uint8_t kIllegalFunction = 1;
constexpr uint8_t kIllegalAddress = 2;
constexpr uint8_t kIllegalValue = 3;

struct DeviceSettings {
    uint8_t address = 1;  // own network address; 0 is always answered too
    uint8_t version = 1;  // third identification byte
    int maxRecords = 31;  // records per function 65 answer, 1..255
    // Clock at start; invalid (the default year 0) = the host's local time.
    CivilTime clock{0, 0, 0, 0, 0, 0};
    // The clock and the counters stand still where they started, so that two
    // reads give the same bytes.
    bool frozenClock = false;
    // Seconds over which G, from 0 at start, settles at its value with one
    // overshoot; the volumes follow it, and the flags "g < 0", "g < g_пор"
    // and "g > g_макс" follow G. 0 = G steady from the start.
    int flowSettleSeconds = 0;
};

// The ZQ device seen from the line: takes one request frame, returns its
// answer. Not thread-safe; the line code owns it.
class DeviceModel {
public:
    // Host local time as civil seconds (HostCivilSeconds by default); the
    // device clock and the counters run with it.
    using HostClock = std::function<int64_t()>;

    DeviceModel(const DeviceSettings& settings, DeviceContent content, HostClock clock = {});

    // True when the frame's CRC holds and it is addressed to this device
    // (its own address or 0). Anything else gets no answer.
    bool Accepts(const uint8_t* frame, size_t length) const;

    // The answer to an accepted frame, CRC included, carrying the request's
    // address byte; empty when the frame is not accepted. Writes change the
    // device before the answer is made.
    std::vector<uint8_t> Answer(const uint8_t* frame, size_t length);

    uint8_t Address() const { return address_; }
    CivilTime Clock() const;
    const RingMemory& Ring(int kind) const { return content_.rings[kind]; }
    const HoldingValues& Holding() const { return content_.holding; }
    // Counters as they stand now.
    CurrentValues Current() const;

    // An exception answer: address, function | 0x80, code, CRC.
    static std::vector<uint8_t> ExceptionAnswer(uint8_t address, uint8_t function, uint8_t code);

private:
    std::vector<uint8_t> ReportSlaveId(uint8_t address) const;
    std::vector<uint8_t> ReadInput(const uint8_t* frame, size_t length) const;
    std::vector<uint8_t> ReadHolding(const uint8_t* frame, size_t length) const;
    std::vector<uint8_t> WriteMultiple(const uint8_t* frame, size_t length);
    std::vector<uint8_t> ReadArchive(const uint8_t* frame, size_t length) const;

    std::vector<uint8_t> InputRegisters() const;    // 64 registers, wire order
    std::vector<uint8_t> HoldingRegisters() const;  // 16 registers, wire order
    void ClearCounters();

    DeviceSettings settings_;
    DeviceContent content_;
    HostClock hostClock_;
    uint8_t address_;
    int64_t clockOffset_ = 0;   // device civil seconds - host civil seconds
    int64_t countersFrom_ = 0;  // host civil seconds at which content_.current held
};

// Appends the CRC, low byte first.
void AppendCrc(std::vector<uint8_t>& frame);

}  // namespace zqsim

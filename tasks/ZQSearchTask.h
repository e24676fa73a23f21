#pragma once

#include "ZQTask.h"

#include <cstdint>
#include <string>
#include <vector>

// One device that answered the search.
struct DeviceFind {
    int address = 0;
    // A ZQ device: its identification began with "RORI"; `ident` holds the
    // four bytes after the signature, the third being the version.
    bool zq = false;
    uint8_t ident[4] = {};
    // The serial number (input registers 30033-30034), when the ZQ device
    // gave it.
    bool serialKnown = false;
    uint32_t serial = 0;
    // The Modbus exception code the device answered the identification
    // request with; -1 when it answered it properly.
    int exceptionCode = -1;

    int Version() const { return ident[2]; }
};

// "Поиск прибора": asks every address of a range, over the connection as
// set, for its identification (function 17), with the short answer time-out
// of AnswerPace::Quick and no retry. Any well-formed answer with a correct
// CRC from the address asked is a find, an exception answer too; an answer
// from another address, a bad CRC, a loss or a time-out is not, and the next
// address is asked at once (not on the next tick), so a silent address costs
// its time-out and no more. A ZQ device is then asked, at the same address,
// for its serial number (function 4). Never writes to a device.
//
// Steps: 0 start, 1 channel, 2 .. N+1 the N addresses in ascending order,
// N+2 close. Finds() grows as devices answer; the owner reads it on its tick.
class ZQSearchTask : public ZQTask {
public:
    // The default range, and the addresses a range may hold (0 is the
    // broadcast address, which every device would answer).
    static constexpr int kFirstAddress = 1;
    static constexpr int kLastAddress = 247;
    static constexpr int kMinAddress = 1;
    static constexpr int kMaxAddress = 254;

    // The range is kept within kMinAddress..kMaxAddress, its ends in order.
    ZQSearchTask(bool running, int firstAddress = kFirstAddress, int lastAddress = kLastAddress);
    ~ZQSearchTask() override;

    int GetTaskType() override { return kTaskSearch; }
    int GetStepCount() override { return lastAddress - firstAddress + 3; }
    int GetStepRetries(int) override { return 0; }
    int ExecuteStep(int step) override;
    void OnRecvPacket(const uint8_t* data, int length, int packetId) override;
    // In an address step, no answer (lost, timed out) moves on to the next
    // address; elsewhere as ZQTask.
    void RetryOrError(const std::string& text) override;

    const std::vector<DeviceFind>& Finds() const { return finds; }
    // How many of Finds() are complete: the last one is not while its serial
    // number is being asked.
    size_t SettledFinds() const { return finds.size() - (askingSerial ? 1 : 0); }
    // The address step `step` asks, or 0 for a step that asks none.
    int AddressOfStep(int step) const;

private:
    void AcceptIdentAnswer(int address, const uint8_t* data, int length);
    void AcceptSerialAnswer(const uint8_t* data, int length);
    // Leaves the current address for the next one (or the close).
    void MoveOn();

    int firstAddress;
    int lastAddress;
    // The current address is a ZQ device and its serial number is asked.
    bool askingSerial = false;
    std::vector<DeviceFind> finds;
};

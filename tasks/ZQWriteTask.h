#pragma once

#include "ZQTask.h"

#include <cstdint>

// The common frame of the three tasks that change the device: 0 start,
// 1 channel, 2 identification check (nothing stored), 3 one write of holding
// registers with function 16, 4 close with the final text. The derived task
// says what step 3 writes and which texts it shows.
class ZQWriteTask : public ZQTask {
public:
    explicit ZQWriteTask(bool running) : ZQTask(running) {}

    void OnRecvPacket(const uint8_t* data, int length, int packetId) override;
    int GetStepRetries(int step) override { return step == 1 ? 1 : 3; }
    int GetStepCount() override { return 4; }
    int ExecuteStep(int step) override;

protected:
    // Status text of step 3 and the final text of step 4.
    virtual const char* WriteText() const = 0;
    virtual const char* DoneText() const = 0;
    // Fills requestFrame with the write; returns its length.
    virtual int BuildWrite() = 0;

    // Builds a write of `count` registers from `regNumber`; `data` holds them
    // in device byte order.
    int BuildWriteFrame(const uint8_t* data, uint16_t regNumber, uint16_t count);
};

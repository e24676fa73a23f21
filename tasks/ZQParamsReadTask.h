#pragma once

#include "ZQTask.h"
#include "ZQValve.h"

#include <cstdint>

// The opening steps of the two tasks that read the device into a ZQValve
// (read all, monitoring): 0 start, 1 channel, 2 identification, 3 current
// parameters, 4 setup parameters, and the handling of their answers.
class ZQParamsReadTask : public ZQTask {
public:
    // `valve` is not owned and must outlive the task.
    ZQParamsReadTask(bool running, ZQValve* valve) : ZQTask(running), valve(valve) {}

    int GetStepRetries(int step) override { return step == 1 ? 1 : 3; }
    int ExecuteStep(int step) override;
    void OnRecvPacket(const uint8_t* data, int length, int packetId) override;

protected:
    // The current-parameter block in PC byte order, just decoded (step 3).
    // False when its contents are unusable: the task then ends with
    // "Неверное количество данных в ответе от прибора".
    virtual bool OnCurrentParamsBlock(const uint8_t* /*block*/) { return true; }
    // An answer of a step after 4; it has passed CheckAnswer.
    virtual void OnLaterAnswer(const uint8_t* /*data*/, int /*length*/) {}

    ZQValve* valve;
};

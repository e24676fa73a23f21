#pragma once

#include "ActivityIndicator.h"
#include "ReadFloor.h"
#include "ZQReadAllParamsTask.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

using BenchClock = std::chrono::steady_clock;
using BenchTime = BenchClock::time_point;

// When one request passed each point of its road, as the task's thread saw it.
struct RequestTiming {
    BenchTime sent;                      // the step handed it to the channel
    std::optional<BenchTime> started;    // the worker's notice: bytes are being sent
    std::optional<BenchTime> answered;   // the worker's notice: the answer was read
    std::optional<BenchTime> completed;  // the answer reached the task
    std::optional<BenchTime> nextStep;   // the next step ran
};

struct ReadTrace {
    std::optional<BenchTime> firstTick;
    std::optional<BenchTime> done;  // the moment the task reached tsDone
    int ticks = 0;
    std::vector<TickAction> actions;     // one per step run
    std::vector<BenchTime> actionTimes;  // when each of them ran
    std::vector<bool> actionOnTick;      // whether a tick ran it, or it ran at once
    bool unknownAction = false;          // a step result the floors do not model
    std::vector<RequestTiming> requests;
    int answers = 0;      // answers handed to the current step
    int lateAnswers = 0;  // answers to an earlier step
    int lostPackets = 0;
    size_t bytesReceived = 0;  // over all answers, as the channel handed them over
};

// The read-all task exactly as the tools run it, watched from the outside:
// every override records a time stamp and calls the task's own operation.
// The channel's activity lamps tell when the worker started sending and
// when it had read the answer. GUI thread only.
class BenchReadTask : public ZQReadAllParamsTask {
public:
    // `valve` is not owned and must outlive the task.
    explicit BenchReadTask(ZQValve* valve);
    ~BenchReadTask() override;

    void Tick() override;
    int ExecuteStep(int step) override;
    void OnRecvPacket(const uint8_t* data, int length, int packetId) override;
    void OnLostPacket(int packetId) override;
    void OnChanelState(int chanelState) override;

    const ReadTrace& Trace() const { return trace; }

private:
    // Calls back when it is lit (turned yellow).
    class Lamp : public ActivityIndicator {
    public:
        explicit Lamp(std::function<void()> onLit) : onLit(std::move(onLit)) {}
        void SetColor(uint32_t colorBgr) override;

    private:
        std::function<void()> onLit;
    };

    void OnSending();
    void OnReceived();

    ReadTrace trace;
    Lamp txLamp;
    Lamp rxLamp;
    bool inTick = false;
};

// Where the time of the requests went, summed over the requests whose every
// point was seen.
struct RequestPhases {
    int requests = 0;
    double handOverMs = 0;  // the step -> the worker starts sending
    double lineMs = 0;      // sending, the device, the answer
    double pauseMs = 0;     // the answer read -> it reaches the task
    double nextStepMs = 0;  // it reached the task -> the next step runs
};
RequestPhases SumRequestPhases(const std::vector<RequestTiming>& requests);

// Milliseconds from `from` to `to`.
double MsBetween(BenchTime from, BenchTime to);

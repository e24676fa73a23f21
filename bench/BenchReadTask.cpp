#include "BenchReadTask.h"

BenchReadTask::BenchReadTask(ZQValve* valve)
    : ZQReadAllParamsTask(true, valve),
      txLamp([this] { OnSending(); }),
      rxLamp([this] { OnReceived(); }) {}

BenchReadTask::~BenchReadTask() {
    // The channel refers to the lamps, which go before the base destroys it.
    DestroyChanel();
}

void BenchReadTask::Lamp::SetColor(uint32_t colorBgr) {
    if (colorBgr == clYellow && onLit) {
        onLit();
    }
}

void BenchReadTask::Tick() {
    if (!trace.firstTick) {
        trace.firstTick = BenchClock::now();
    }
    ++trace.ticks;
    inTick = true;
    ZQReadAllParamsTask::Tick();
    inTick = false;
}

int BenchReadTask::ExecuteStep(int s) {
    const BenchTime now = BenchClock::now();
    if (!trace.requests.empty() && !trace.requests.back().nextStep) {
        trace.requests.back().nextStep = now;
    }
    const int result = ZQReadAllParamsTask::ExecuteStep(s);
    const size_t before = trace.actions.size();
    switch (result) {
        case srNext:
            trace.actions.push_back(TickAction::Nothing);
            break;
        case srWaitAnswer:
            trace.actions.push_back(TickAction::Request);
            trace.requests.push_back({now, {}, {}, {}, {}});
            break;
        case srWaitEvent:
            if (s == 1) {
                trace.actions.push_back(TickAction::Open);
                if (TQueueIDChanel* opened = GetChanel()) {
                    opened->SetTxControl(&txLamp);
                    opened->SetRxControl(&rxLamp);
                }
            } else if (s == GetStepCount()) {
                trace.actions.push_back(TickAction::Close);
            } else {
                trace.unknownAction = true;
            }
            break;
        default:
            trace.unknownAction = true;
            break;
    }
    if (trace.actions.size() > before) {
        trace.actionTimes.push_back(now);
        trace.actionOnTick.push_back(inTick);
    }
    return result;
}

void BenchReadTask::OnRecvPacket(const uint8_t* data, int length, int packetId) {
    if (packetId == step) {
        ++trace.answers;
        if (!trace.requests.empty() && !trace.requests.back().completed) {
            trace.requests.back().completed = BenchClock::now();
        }
    } else {
        ++trace.lateAnswers;
    }
    if (length > 0) {
        trace.bytesReceived += static_cast<size_t>(length);
    }
    ZQReadAllParamsTask::OnRecvPacket(data, length, packetId);
}

void BenchReadTask::OnLostPacket(int packetId) {
    ++trace.lostPackets;
    ZQReadAllParamsTask::OnLostPacket(packetId);
}

void BenchReadTask::OnChanelState(int chanelState) {
    ZQReadAllParamsTask::OnChanelState(chanelState);
    if (state == tsDone && !trace.done) {
        trace.done = BenchClock::now();
    }
}

void BenchReadTask::OnSending() {
    if (!trace.requests.empty() && !trace.requests.back().started) {
        trace.requests.back().started = BenchClock::now();
    }
}

void BenchReadTask::OnReceived() {
    if (!trace.requests.empty() && trace.requests.back().started &&
        !trace.requests.back().answered) {
        trace.requests.back().answered = BenchClock::now();
    }
}

double MsBetween(BenchTime from, BenchTime to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

RequestPhases SumRequestPhases(const std::vector<RequestTiming>& requests) {
    RequestPhases phases;
    for (const RequestTiming& r : requests) {
        if (!r.started || !r.answered || !r.completed || !r.nextStep) {
            continue;
        }
        ++phases.requests;
        phases.handOverMs += MsBetween(r.sent, *r.started);
        phases.lineMs += MsBetween(*r.started, *r.answered);
        phases.pauseMs += MsBetween(*r.answered, *r.completed);
        phases.nextStepMs += MsBetween(*r.completed, *r.nextStep);
    }
    return phases;
}

#pragma once

#include "TQueueIDChanel.h"
#include "ZQTask.h"

#include <QMetaObject>
#include <QObject>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

// A task of a round that talks to its meter over the meter's own connection
// (not the window's settings) and may share it: several meters behind one
// endpoint (one RS-485 line, one device server, one modem call) are read
// over one connection, connected once. Given an open channel it runs on
// that one; with `keepOpen` its close leaves the channel open for the task
// after it, which the owner takes with ReleaseChanel.
//
// A connection of its own that cannot be made, or whose first request gets
// no answer at all, means the endpoint is dead for this round: the task
// ends at that first time-out, without the retries a live link deserves,
// and EndpointDead() says so, so that the meters behind the same endpoint
// are not tried again (a dead endpoint costs its time-out once).
template <class Task>
class LaneTask : public Task {
public:
    template <class... Args>
    LaneTask(const ChanelSetupStruct& setup, std::unique_ptr<TQueueIDChanel> open, bool keepOpen,
             Args&&... args)
        : Task(true, std::forward<Args>(args)...),
          setup(setup),
          open(std::move(open)),
          keepOpen(keepOpen),
          soon(std::make_unique<QObject>()) {}

    bool CreateChanel() override {
        this->chanelSetup = setup;
        if (open && open->GetState() == csConnected) {
            fresh = false;
            this->AdoptChanel(std::move(open));
            // As if the channel had just connected: after this step's run.
            Later([this] { this->OnChanelState(csConnected); });
            return true;
        }
        open.reset();
        return this->OpenChanel();
    }

    bool EndpointDead() const { return endpointDead; }

    void OnChanelState(int state) override {
        if (state == csDisconnected && this->GetStep() == 1) {
            endpointDead = true;
        }
        Task::OnChanelState(state);
    }

    void OnRecvPacket(const uint8_t* data, int length, int packetId) override {
        answered = answered || packetId == this->GetStep();
        Task::OnRecvPacket(data, length, packetId);
    }

    void RetryOrError(const std::string& text) override {
        if (fresh && !answered && this->GetStep() == 2 &&
            (text == "Нет ответа от прибора" || text == "Истекли попытки повтора")) {
            endpointDead = true;
            this->SetError("Нет ответа от прибора");
            return;
        }
        Task::RetryOrError(text);
    }

    void CloseChanel() override {
        if (keepOpen && this->GetState() == tsRunning && this->chanel &&
            this->chanel->GetState() == csConnected) {
            // The task ends as after a close; the connection stays.
            Later([this] { this->OnChanelState(csDisconnected); });
            return;
        }
        Task::CloseChanel();
    }

private:
    // Runs `step` once the event being handled is done, while the task runs.
    template <class F>
    void Later(F step) {
        QMetaObject::invokeMethod(
            soon.get(),
            [this, step] {
                if (this->GetState() == tsRunning) {
                    step();
                }
            },
            Qt::QueuedConnection);
    }

    ChanelSetupStruct setup;
    std::unique_ptr<TQueueIDChanel> open;
    bool keepOpen;
    bool fresh = true;      // the task opens its connection itself
    bool answered = false;  // an answer to one of its requests came
    bool endpointDead = false;
    // Receiver of the deferred steps: they die with the task.
    std::unique_ptr<QObject> soon;
};

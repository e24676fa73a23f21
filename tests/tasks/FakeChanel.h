#pragma once

#include "Exception.h"
#include "Settings.h"
#include "TQueueIDChanel.h"
#include "ZQTask.h"

#include <cstdint>
#include <memory>
#include <vector>

// A packet-ID channel that a test drives by hand: it records every packet
// sent and lets the test inject state changes, answers and lost packets, as
// a real channel would raise them on the GUI thread.
class FakeChanel : public TQueueIDChanel {
public:
    struct Packet {
        std::vector<uint8_t> bytes;
        int packetId;
        bool quiet;
    };

    bool SendPacket(const uint8_t* data, int length, int packetId, bool quiet) override {
        if (GetState() != csConnected) {
            return false;
        }
        if (sendThrows) {
            throw Exception("Queue overflow");
        }
        sent.push_back({std::vector<uint8_t>(data, data + length), packetId, quiet});
        queued += countsQueue ? 1 : 0;
        return true;
    }
    void Close() override { ++closeCalls; }
    // A channel's queue as the task sees it: with `countsQueue`, each packet
    // sent is pending until its answer or loss is injected (as a thread
    // channel completes each transfer once, in order); else always 0.
    int GetPendingCount() override { return queued; }

    void InjectState(ChanelState state) { SetState(state); }
    void InjectAnswer(const std::vector<uint8_t>& bytes, int packetId) {
        queued -= queued > 0 ? 1 : 0;
        if (FOnRecvPacketEvent) {
            FOnRecvPacketEvent(bytes.data(), static_cast<uint16_t>(bytes.size()), packetId);
        }
    }
    void InjectLost(int packetId) {
        queued -= queued > 0 ? 1 : 0;
        if (FOnLostPacketEvent) {
            FOnLostPacketEvent(packetId);
        }
    }
    bool HasHandlers() const {
        return FOnRecvPacketEvent || FOnLostPacketEvent || GetOnChanelStateEvent();
    }

    std::vector<Packet> sent;
    int closeCalls = 0;
    bool countsQueue = false;
    int queued = 0;
    bool sendThrows = false;  // SendPacket raises as a full queue does
};

// A task whose channel is a FakeChanel: CreateChanel loads the connection
// settings as the real one does, then adopts a fake channel.
template <class Task>
class WithFakeChanel : public Task {
public:
    using Task::Task;

    bool CreateChanel() override {
        if (!LoadChanelSetup(this->chanelSetup)) {
            return false;
        }
        auto ch = std::make_unique<FakeChanel>();
        fake = ch.get();
        this->AdoptChanel(std::move(ch));
        ++createCalls;
        return true;
    }

    FakeChanel* fake = nullptr;
    int createCalls = 0;
};

#pragma once

#include "TChanelObject.h"

#include <cstdint>
#include <functional>

// An answer of `length` bytes came back for packet `packetId`; `data` is
// valid only during the call.
using RecvPacketEvent = std::function<void(const void* data, uint16_t length, int packetId)>;
// The packet got no answer, or its transfer failed.
using PacketIdEvent = std::function<void(int packetId)>;

// The packet-ID channel as the exchange tasks see it: one numbered request at
// a time goes out with SendPacket, and either the answer under the same
// number or the news that the number was lost comes back on the GUI thread,
// never from inside SendPacket. Carries nothing itself.
class TQueueIDChanel : public TChanelObject {
public:
    TQueueIDChanel() = default;

    // Commands queued and not yet acknowledged; -1 for a channel without a queue.
    virtual int GetPendingCount();

    const RecvPacketEvent& GetOnRecvPacketEvent() const { return FOnRecvPacketEvent; }
    void SetOnRecvPacketEvent(RecvPacketEvent handler) { FOnRecvPacketEvent = std::move(handler); }
    const PacketIdEvent& GetOnLostPacketEvent() const { return FOnLostPacketEvent; }
    void SetOnLostPacketEvent(PacketIdEvent handler) { FOnLostPacketEvent = std::move(handler); }
    // Offered to callers; no channel of this system raises it.
    const PacketIdEvent& GetOnErrorPacketEvent() const { return FOnErrorPacketEvent; }
    void SetOnErrorPacketEvent(PacketIdEvent handler) { FOnErrorPacketEvent = std::move(handler); }

protected:
    RecvPacketEvent FOnRecvPacketEvent;
    PacketIdEvent FOnLostPacketEvent;
    PacketIdEvent FOnErrorPacketEvent;
};

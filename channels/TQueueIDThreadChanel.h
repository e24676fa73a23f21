#pragma once

#include "ChanelNotice.h"
#include "NoticeWindow.h"
#include "TChanelWorker.h"
#include "TQueueIDChanel.h"

#include <cstdint>
#include <memory>

// A packet-ID channel whose medium work runs on a worker thread (a
// TChanelWorker: a serial port's, a network connection's) and whose results
// come back to the GUI thread as notices to a hidden window (FWindow),
// handled in the order they were posted by HandleNotice. The worker's notes
// go to the console.
//
// Destruction: the worker carries out the commands still queued and ends;
// whatever else watches the medium (a port's monitor) is stopped; the window
// goes and the notices still queued for it are discarded; then the medium is
// closed. No event is raised meanwhile. An event handler must not delete the
// channel it was called by.
class TQueueIDThreadChanel : public TQueueIDChanel {
public:
    // The worker given: each medium brings its own, which carries out the
    // queue's commands.
    explicit TQueueIDThreadChanel(std::unique_ptr<TChanelWorker> thread);
    ~TQueueIDThreadChanel() override;

    // Nothing here: the COM-port channel queues its own close.
    void Close() override;
    // Commands queued and not yet acknowledged on the GUI thread, 0..9.
    int GetPendingCount() override;
    // A port-event notice of the port's monitor; nothing here.
    virtual void OnPortEvent();

protected:
    // The parameters of the slot at the tail, cleared: fill them, then
    // PushCommand. GUI thread.
    ChanelCommonStruct& TailData();
    // Queues the tail slot; raises "Queue overflow" with nine pending.
    void PushCommand(int32_t command, uint32_t flags = qfAlways);
    // The sending every medium shares: packet `packetId` of `length` bytes
    // (1..512 are carried) when csConnected and the length is within
    // 0..512, else false with nothing queued and no event to follow. With
    // more than 4 pending the packet is queued only if that can be done
    // without waiting, and true is returned either way.
    bool QueuePacket(const uint8_t* data, int length, int packetId, bool quiet);
    // Queues a close, whatever the state.
    void QueueClose();

    // Every notice of the worker and the port's monitor, in the order they
    // were posted. A channel over another medium may handle notices of its
    // own first.
    virtual void HandleNotice(const ChanelNotice& notice);

private:
    std::unique_ptr<TChanelWorker> FThreadOwner;

protected:
    TChanelWorker& FThread;
    std::unique_ptr<NoticeWindow> FWindow;

private:
    void HandleCompletion(bool succeeded);
};

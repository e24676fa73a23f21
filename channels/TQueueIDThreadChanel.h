#pragma once

#include "ChanelNotice.h"
#include "NoticeWindow.h"
#include "TChanelThread.h"
#include "TQueueIDChanel.h"

#include <cstdint>
#include <memory>

// A packet-ID channel whose port work runs on a worker thread (TChanelThread)
// and whose results come back to the GUI thread as notices to a hidden
// window (FWindow), handled in the order they were posted by HandleNotice.
//
// Destruction: the worker carries out the commands still queued and ends;
// the port's monitor is stopped; the window goes and the notices still queued
// for it are discarded; then the port is closed. No event is raised meanwhile.
// An event handler must not delete the channel it was called by.
class TQueueIDThreadChanel : public TQueueIDChanel {
public:
    // The worker of a serial port.
    TQueueIDThreadChanel();
    // The worker given: a channel over another medium brings its own, which
    // carries out the same commands.
    explicit TQueueIDThreadChanel(std::unique_ptr<TChanelThread> thread);
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

    // Every notice of the worker and the port's monitor, in the order they
    // were posted. A channel over another medium may handle notices of its
    // own first.
    virtual void HandleNotice(const ChanelNotice& notice);

private:
    std::unique_ptr<TChanelThread> FThreadOwner;

protected:
    TChanelThread& FThread;
    std::unique_ptr<NoticeWindow> FWindow;

private:
    void HandleCompletion(bool succeeded);
};

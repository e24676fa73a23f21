#include "TQueueIDThreadChanel.h"

#include <QCoreApplication>

#include <cstring>

namespace {

// Above this many pending commands a packet is dropped rather than queued
// behind them; the task's own answer time-out recovers.
constexpr int kBusyPending = 4;

}  // namespace

TQueueIDThreadChanel::TQueueIDThreadChanel(std::unique_ptr<TChanelWorker> thread)
    : FThreadOwner(std::move(thread)),
      FThread(*FThreadOwner),
      FWindow(std::make_unique<NoticeWindow>(
          [this](const ChanelNotice& notice) { HandleNotice(notice); })) {
    FThread.NotifyWindow = FWindow.get();
    FThread.Resume();
}

TQueueIDThreadChanel::~TQueueIDThreadChanel() {
    FThread.Stop();
    // A port's monitor posts to the window too: it must end before the window goes.
    FThread.StopWatching();
    FThread.NotifyWindow = nullptr;
    QCoreApplication::removePostedEvents(FWindow.get());
    FWindow.reset();
    // The worker, going next, closes the port.
}

void TQueueIDThreadChanel::Close() {}

int TQueueIDThreadChanel::GetPendingCount() {
    return FThread.PendingCount();
}

void TQueueIDThreadChanel::OnPortEvent() {}

ChanelCommonStruct& TQueueIDThreadChanel::TailData() {
    ChanelCommonStruct& data = FThread.Items[FThread.Tail].Data;
    data = ChanelCommonStruct{};
    return data;
}

void TQueueIDThreadChanel::PushCommand(int32_t command, uint32_t flags) {
    FThread.Push(command, flags);
}

bool TQueueIDThreadChanel::QueuePacket(const uint8_t* data, int length, int packetId, bool quiet) {
    if (GetState() != csConnected) {
        return false;
    }
    if (length < 0 || length > ChanelCommonStruct::kBufferSize || (length > 0 && data == nullptr)) {
        return false;
    }
    ChanelCommonStruct& slot = TailData();
    if (length > 0) {
        std::memcpy(slot.TxBuffer, data, static_cast<size_t>(length));
    }
    slot.TxLength = static_cast<uint16_t>(length);
    slot.PacketId = packetId;
    const uint32_t flags = GetPendingCount() > kBusyPending ? qfDropIfBusy : qfAlways;
    PushCommand(quiet ? cmdTransferQuiet : cmdTransfer, flags);
    return true;
}

void TQueueIDThreadChanel::QueueClose() {
    TailData();
    PushCommand(cmdClose, qfAlways);
}

void TQueueIDThreadChanel::HandleNotice(const ChanelNotice& notice) {
    switch (notice.Message) {
        case kCompletionNotice:
            HandleCompletion(notice.WParam != 0);
            break;
        case kActivityNotice:
            if (notice.WParam == 0) {
                ShowActivity(true, false);
            } else if (notice.WParam == 1) {
                ShowActivity(false, true);
            }
            break;
        case kPortEventNotice:
            OnPortEvent();
            break;
        case kNoteNotice:
            for (const std::string& text : FThread.TakeNotes()) {
                WriteConsole(text);
            }
            break;
        default:
            break;
    }
}

// The worker completes the slots in queue order, one notice each, so the
// notice is about the slot at Head.
void TQueueIDThreadChanel::HandleCompletion(bool succeeded) {
    if (FThread.PendingCount() == 0) {
        return;
    }
    auto& slot = FThread.Items[FThread.Head];
    switch (slot.Command) {
        case cmdOpen:
        case cmdAttach:
            if (succeeded) {
                SetState(csConnected);
            } else {
                WriteConsole(slot.Message);
                SetState(csDisconnected);
            }
            break;
        case cmdClose:
            if (!succeeded) {
                WriteConsole(slot.Message);
            }
            SetState(csDisconnected);
            break;
        case cmdTransfer:
        case cmdTransferQuiet:
            // Copies of the events: a handler may replace them.
            if (succeeded) {
                if (RecvPacketEvent handler = FOnRecvPacketEvent) {
                    handler(slot.Data.RxBuffer, slot.Data.RxLength, slot.Data.PacketId);
                }
            } else {
                if (slot.Command == cmdTransfer) {
                    WriteConsole(slot.Message);
                }
                if (PacketIdEvent handler = FOnLostPacketEvent) {
                    handler(slot.Data.PacketId);
                }
            }
            break;
        default:
            break;
    }
    FThread.Head = (FThread.Head + 1) % TChanelWorker::kSlotCount;
}

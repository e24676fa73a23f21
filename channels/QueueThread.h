#pragma once

#include "ChanelNotice.h"
#include "Exception.h"
#include "Noncopyable.h"
#include "QueueItem.h"
#include "win_error.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <exception>
#include <semaphore>
#include <string>
#include <system_error>
#include <thread>

// A ring of ten command slots served by one worker thread.
//
// The GUI thread fills the slot at Tail and pushes it; the worker takes the
// slots in order, carries each out through Execute, keeps a failure's text in
// the slot, and posts one completion notice per slot to NotifyWindow; the
// owner's notice handler acknowledges the slot by advancing Head. Pending
// commands are those from Head up to Tail, at most nine.
//
// Who touches what: the GUI thread writes a slot only while it is at Tail and
// reads it only after its completion notice; the worker works on a slot only
// between the semaphore wait that released it and that notice. Tail is
// written by Push, Head by the owner's handler (both GUI thread); WorkerIndex
// and History by the worker (read them on the GUI thread only after a
// completion notice or after Stop).
//
// The owner sets NotifyWindow, then calls Resume; to end the worker it calls
// Stop (commands still queued are carried out first) before destroying the
// receiver, and the derived class has stopped it before its own parts go.
template <typename TData>
class QueueThread : public Noncopyable {
public:
    static constexpr int kSlotCount = 10;

    QueueThread() = default;
    virtual ~QueueThread() { Stop(); }

    // Carries out one command on the worker thread. Raising ends the command
    // as failed; the text of the exception goes to the slot's Message.
    virtual int Execute(int command, TData* data) = 0;

    // GUI thread. Enqueues the slot at Tail, whose Command, Flags and Data
    // the caller has filled. Raises "Queue overflow" with nine pending, and
    // "Queue is not empty" when the flags refuse the pending commands;
    // returns without queueing when qfDropIfBusy turns that refusal into
    // silence.
    void Push() {
        const int pending = PendingCount();
        if (pending >= kSlotCount - 1) {
            throw Exception("Queue overflow");
        }
        const uint32_t flags = Items[Tail].Flags;
        const bool accepted = pending == 0 || (flags & qfAlways) != 0 ||
                              ((flags & qfExclusive) == 0 && CountSharedPending() == 0);
        if (!accepted) {
            if (flags & qfDropIfBusy) {
                return;
            }
            throw Exception("Queue is not empty");
        }
        Tail = (Tail + 1) % kSlotCount;
        Semaphore.release();
    }
    void Push(int32_t command, uint32_t flags) {
        Items[Tail].Command = command;
        Items[Tail].Flags = flags;
        Push();
    }

    // Commands pushed and not yet acknowledged, 0..9.
    int PendingCount() const { return (Tail - Head + kSlotCount) % kSlotCount; }
    // Pending commands whose flags lack qfExclusive.
    int CountSharedPending() const {
        int count = 0;
        for (int i = Head; i != Tail; i = (i + 1) % kSlotCount) {
            if ((Items[i].Flags & qfExclusive) == 0) {
                ++count;
            }
        }
        return count;
    }

    // Starts the worker (once). Raises win_error when no thread can be had.
    void Resume() {
        if (ThreadHandle.joinable()) {
            return;
        }
        try {
            ThreadHandle = std::thread([this] { WorkerLoop(); });
        } catch (const std::system_error& e) {
            throw win_error(e.code().value());
        }
    }
    // Lets the worker finish the queued commands, then waits for it to end.
    // Nothing may be pushed afterwards.
    void Stop() {
        if (!ThreadHandle.joinable()) {
            return;
        }
        StopIndex.store(Tail);
        Semaphore.release();
        ThreadHandle.join();
    }
    bool Running() const { return ThreadHandle.joinable(); }

    QueueItem<TData> Items[kSlotCount];
    QObject* NotifyWindow = nullptr;  // not owned; set before Resume, cleared after Stop
    int32_t WorkerIndex = 0;
    int32_t Head = 0;
    int32_t Tail = 0;
    uint32_t History = 0;
    std::atomic<int32_t> StopIndex{-1};

protected:
    // Worker thread. The owner reads NotifyWindow only after Stop.
    void PostNotice(uint32_t message, intptr_t wParam) {
        if (NotifyWindow != nullptr) {
            ChanelNotice::Post(NotifyWindow, message, wParam, 0);
        }
    }

private:
    void WorkerLoop() {
        WorkerIndex = 0;
        for (;;) {
            Semaphore.acquire();
            if (WorkerIndex == StopIndex.load()) {
                return;
            }
            QueueItem<TData>& slot = Items[WorkerIndex];
            const uint32_t pattern = slot.Flags & 0xFF;
            const uint32_t mask = (slot.Flags >> 8) & 0xFF;
            bool succeeded = false;
            if ((pattern & mask) != (History & mask)) {
                slot.Command = -1;
                History <<= 1;
                succeeded = true;  // a skipped slot completes with 1
            } else {
                succeeded = Run(slot);
                History = (History << 1) | (succeeded ? 1u : 0u);
            }
            // History and the slot are written before the notice, so its
            // handler may read them.
            PostNotice(kCompletionNotice, succeeded ? 1 : 0);
            WorkerIndex = (WorkerIndex + 1) % kSlotCount;
        }
    }

    bool Run(QueueItem<TData>& slot) {
        try {
            Execute(slot.Command, &slot.Data);
            return true;
        } catch (const Exception& e) {
            // The fixed text, then what the system said, for the log.
            slot.Message =
                e.Detail().empty() ? e.what() : std::string(e.what()) + ": " + e.Detail();
        } catch (const std::exception& e) {
            slot.Message = e.what();
        } catch (const char* text) {
            slot.Message = text != nullptr ? text : "";
        } catch (const std::string& text) {
            slot.Message = text;
        } catch (...) {
            slot.Message = "Unknown error";
        }
        return false;
    }

    std::thread ThreadHandle;
    std::counting_semaphore<kSlotCount> Semaphore{0};
};

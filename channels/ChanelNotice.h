#pragma once

#include <QCoreApplication>
#include <QEvent>

#include <atomic>
#include <cstdint>

// Notice numbers, as the window messages of the user range they stand for.
constexpr uint32_t WM_USER = 0x400;
// A queue slot is done. WParam: 1 = it succeeded or was skipped, 0 = it failed.
constexpr uint32_t kCompletionNotice = WM_USER;
// Bytes on the line. WParam: 1 = being sent, 0 = received.
constexpr uint32_t kActivityNotice = WM_USER + 1;
// Comm events seen by a port's monitor. WParam: the event mask; LParam: the port.
constexpr uint32_t kPortEventNotice = WM_USER + 2;
// A text the worker left for the exchange log (a late answer dropped, what
// happened on the network). WParam: unused.
constexpr uint32_t kNoteNotice = WM_USER + 3;

// A notice from a worker or monitor thread to a receiver living on the GUI
// thread (the channel's hidden window). Notices posted to one receiver arrive
// in the order they were posted.
class ChanelNotice : public QEvent {
public:
    ChanelNotice(uint32_t message, intptr_t wParam, intptr_t lParam)
        : QEvent(EventType()), Message(message), WParam(wParam), LParam(lParam) {}

    static QEvent::Type EventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    // Any thread. The receiver takes the notice with From.
    static void Post(QObject* receiver, uint32_t message, intptr_t wParam, intptr_t lParam) {
        auto* notice = new ChanelNotice(message, wParam, lParam);
        // The event queue orders the two threads already; this release, paired
        // with the acquire in From, states it where the thread checker can
        // see it.
        HandOver().fetch_add(1, std::memory_order_release);
        QCoreApplication::postEvent(receiver, notice);
    }

    // GUI thread, first thing in a receiver's event handler: the notice in
    // `e`, or null when `e` is another kind of event. Everything the poster
    // wrote before Post is visible once this has returned.
    static const ChanelNotice* From(const QEvent* e) {
        HandOver().load(std::memory_order_acquire);
        return e->type() == EventType() ? static_cast<const ChanelNotice*>(e) : nullptr;
    }

    const uint32_t Message;
    const intptr_t WParam;
    const intptr_t LParam;

private:
    static std::atomic<uint64_t>& HandOver() {
        static std::atomic<uint64_t> counter{0};
        return counter;
    }
};

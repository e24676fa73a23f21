// The comm-event monitor of a serial port: a thread that watches the modem
// lines and the hang-up of the line, and reports them as port-event notices.
#include "ChanelNotice.h"
#include "ComPort.h"
#include "Lock.h"

#include <cerrno>
#include <cstdint>

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace comprt {

namespace {

// How often the lines are looked at, in ms. The stop event and a hang-up end
// the wait at once.
constexpr int kLinePollMs = 50;

constexpr int kWatchedLines = TIOCM_CD | TIOCM_CTS | TIOCM_DSR | TIOCM_RI;

uint32_t EventsOf(int changedLines) {
    uint32_t events = 0;
    if (changedLines & TIOCM_CTS) {
        events |= EV_CTS;
    }
    if (changedLines & TIOCM_DSR) {
        events |= EV_DSR;
    }
    if (changedLines & TIOCM_RI) {
        events |= EV_RING;
    }
    if (changedLines & TIOCM_CD) {
        events |= EV_RLSD;
    }
    return events;
}

}  // namespace

void ComPort::StartNotify(uint32_t eventMask, QObject* window, uint32_t message) {
    CheckOpen();
    StopNotify();
    uint64_t pending = 0;
    while (::read(FStopEvent.Handle(), &pending, sizeof pending) > 0) {
        // A stop request left over from the previous monitor.
    }
    FEventMask = eventMask;
    FNotifyWindow = window;
    FNotifyMessage = message;
    Start();
}

void ComPort::StopNotify() {
    if (!Started()) {
        return;
    }
    const uint64_t one = 1;
    while (::write(FStopEvent.Handle(), &one, sizeof one) < 0 && errno == EINTR) {
    }
    Join();
}

int ComPort::ModemLines(int previous) const {
    int lines = 0;
    if (::ioctl(FHandle.Handle(), TIOCMGET, &lines) != 0) {
        return previous;  // no lines (a pseudo-terminal), or a dead line
    }
    return lines & kWatchedLines;
}

// Runs on the monitor thread. The fields it reads were set before Start and
// stay unchanged until StopNotify has joined it. It only looks at the port
// (events 0 in poll: the hang-up and error conditions), never reads from it,
// so the worker's Read gets every byte.
void ComPort::Run() {
    const int fd = FHandle.Handle();
    int lines = 0;
    {
        Lock lock(FLock);
        lines = ModemLines(0);
    }
    for (;;) {
        pollfd fds[2] = {{FStopEvent.Handle(), POLLIN, 0}, {fd, 0, 0}};
        const int ready = ::poll(fds, 2, kLinePollMs);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[0].revents & POLLIN) {
            return;
        }
        const bool hungUp = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        int now = 0;
        {
            Lock lock(FLock);
            now = ModemLines(lines);
        }
        uint32_t events = EventsOf(lines ^ now) & FEventMask;
        lines = now;
        if (hungUp) {
            // The line is gone: for a modem call that is the carrier dropping.
            // One notice, then nothing more to watch.
            events |= EV_RLSD & FEventMask;
        }
        if (events != 0 && FNotifyWindow != nullptr) {
            ChanelNotice::Post(FNotifyWindow, FNotifyMessage, static_cast<intptr_t>(events),
                               reinterpret_cast<intptr_t>(this));
        }
        if (hungUp) {
            return;
        }
    }
}

}  // namespace comprt

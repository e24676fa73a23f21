#include "ComPort.h"

#include "Deadline.h"
#include "Lock.h"
#include "PortNames.h"
#include "win_error.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace comprt {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void RaiseNotOpen(std::string detail = {}) {
    throw Exception(kPortNotOpenText, std::move(detail));
}

// What the system said about `path`, for the log; for a missing permission
// also how to get it.
std::string OpenFailure(const std::string& path, int code) {
    std::string text = path + ": " + std::strerror(code);
    if (code == EACCES || code == EPERM) {
        text += "\n" + PortAccessHint(path);
    }
    return text;
}

[[noreturn]] void RaiseLastError() {
    throw win_error(errno);
}

struct Speed {
    uint32_t baudRate;
    speed_t code;
};

constexpr Speed kSpeeds[] = {
    {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},   {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600}, {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

// Only the standard rates; another raises win_error(EINVAL).
speed_t SpeedOf(uint32_t baudRate) {
    for (const Speed& speed : kSpeeds) {
        if (speed.baudRate == baudRate) {
            return speed.code;
        }
    }
    throw win_error(EINVAL);
}

}  // namespace

ComPort::ComPort() {
    const int stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop < 0) {
        RaiseLastError();
    }
    FStopEvent.Reset(stop);
}

ComPort::~ComPort() {
    Close();
    StopNotify();
}

CommTimeouts ComPort::MakeTimeouts(uint32_t readTotalTimeout) {
    CommTimeouts timeouts;
    timeouts.ReadTotalTimeoutConstant = readTotalTimeout;
    return timeouts;
}

void ComPort::CheckOpen() const {
    if (!IsOpen()) {
        RaiseNotOpen();
    }
}

void ComPort::Open(const std::string& name) {
    Close();
    const std::string path = PortPath(name);
    if (path.empty()) {
        RaiseNotOpen(name + ": имя не ведёт ни к одному устройству");
    }
    KernelObject port(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!port.Valid()) {
        RaiseNotOpen(OpenFailure(path, errno));
    }
    if (!::isatty(port.Handle())) {
        RaiseNotOpen(path + ": не последовательный порт");
    }
    // TIOCEXCL does not stop root; the lock also stops another copy of this
    // program, whoever runs it.
    if (::flock(port.Handle(), LOCK_EX | LOCK_NB) != 0 || ::ioctl(port.Handle(), TIOCEXCL) != 0) {
        RaiseNotOpen(errno == EWOULDBLOCK || errno == EBUSY
                         ? path + ": порт занят другой программой"
                         : OpenFailure(path, errno));
    }
    FHandle.Reset(port.Release());
    FAttached = false;
    FTimeouts = CommTimeouts{};
}

void ComPort::Open(const std::string& name, uint32_t baudRate, uint32_t readTotalTimeout) {
    Open(name);
    try {
        Configure(baudRate);
        SetTimeouts(MakeTimeouts(readTotalTimeout));
    } catch (...) {
        Close();
        throw;
    }
}

void ComPort::Configure(uint32_t baudRate) {
    const speed_t speed = SpeedOf(baudRate);
    termios tio{};
    if (::tcgetattr(FHandle.Handle(), &tio) != 0) {
        RaiseLastError();
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    tio.c_iflag |= IGNBRK;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 ||
        ::tcsetattr(FHandle.Handle(), TCSANOW, &tio) != 0) {
        RaiseLastError();
    }
}

void ComPort::Attach(int handle) {
    if (handle == -1) {
        return;
    }
    Close();
    struct stat st {};
    if (::fstat(handle, &st) != 0 || !S_ISCHR(st.st_mode)) {
        throw Exception(kBadHandleText);
    }
    const int own = ::fcntl(handle, F_DUPFD_CLOEXEC, 0);
    if (own < 0) {
        RaiseLastError();
    }
    FHandle.Reset(own);
    FAttached = true;
    FTimeouts = CommTimeouts{};
}

void ComPort::Close() {
    if (!IsOpen()) {
        return;
    }
    StopNotify();
    if (!FAttached) {
        // The exclusive mode belongs to the device, not to this descriptor:
        // while anything else keeps the device open (the far end of a
        // pseudo-terminal), it would refuse the next open.
        ::ioctl(FHandle.Handle(), TIOCNXCL);
    }
    FHandle.Reset();
    FAttached = false;
}

int ComPort::Handle() const {
    CheckOpen();
    return FHandle.Handle();
}

CommTimeouts ComPort::GetTimeouts() const {
    CheckOpen();
    return FTimeouts;
}

void ComPort::SetTimeouts(const CommTimeouts& timeouts) {
    CheckOpen();
    FTimeouts = timeouts;
}

size_t ComPort::Read(void* buffer, size_t size) {
    CheckOpen();
    Lock lock(FLock);
    const int fd = FHandle.Handle();
    const auto start = Clock::now();
    const uint64_t totalMs = static_cast<uint64_t>(FTimeouts.ReadTotalTimeoutMultiplier) * size +
                             FTimeouts.ReadTotalTimeoutConstant;
    const bool hasTotal = totalMs != 0;
    const auto deadline = start + std::chrono::milliseconds(totalMs);
    const uint32_t intervalMs = FTimeouts.ReadIntervalTimeout;
    auto* bytes = static_cast<unsigned char*>(buffer);
    size_t count = 0;
    while (count < size) {
        // Before the first byte only the total limit counts; after it, the
        // interval of silence as well.
        int waitMs = hasTotal ? MsUntil(deadline) : -1;
        if (count > 0 && intervalMs != 0) {
            waitMs = waitMs < 0 ? static_cast<int>(intervalMs)
                                : std::min(waitMs, static_cast<int>(intervalMs));
        }
        if (waitMs == 0) {
            break;
        }
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, waitMs);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            RaiseLastError();
        }
        if (ready == 0) {
            break;  // silence: the total or the interval has passed
        }
        if (pfd.revents & POLLNVAL) {
            throw win_error(EBADF);
        }
        if (pfd.revents & POLLIN) {
            const ssize_t got = ::read(fd, bytes + count, size - count);
            if (got > 0) {
                count += static_cast<size_t>(got);
                if (intervalMs == CommTimeouts::kReadOnArrival) {
                    break;
                }
                continue;
            }
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            if (got < 0 && errno != EIO) {
                RaiseLastError();
            }
            break;  // 0 or EIO: the line hung up
        }
        if (pfd.revents & (POLLHUP | POLLERR)) {
            break;
        }
    }
    if (count == 0) {
        throw Exception(kNoAnswerText);
    }
    return count;
}

void ComPort::Write(const void* buffer, size_t size) {
    CheckOpen();
    const int fd = FHandle.Handle();
    const uint64_t totalMs = static_cast<uint64_t>(FTimeouts.WriteTotalTimeoutMultiplier) * size +
                             FTimeouts.WriteTotalTimeoutConstant;
    const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    size_t done = 0;
    while (done < size) {
        const ssize_t put = ::write(fd, bytes + done, size - done);
        if (put > 0) {
            done += static_cast<size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && errno != EAGAIN) {
            if (errno == EIO) {
                break;  // the line hung up: a short write
            }
            RaiseLastError();
        }
        const int waitMs = totalMs != 0 ? MsUntil(deadline) : -1;
        if (waitMs == 0) {
            break;
        }
        pollfd pfd{fd, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, waitMs);
        if (ready < 0 && errno != EINTR) {
            RaiseLastError();
        }
        if (ready == 0) {
            break;
        }
        if (ready > 0 && !(pfd.revents & POLLOUT)) {
            break;  // POLLHUP, POLLERR or POLLNVAL without room to write
        }
    }
    if (done < size) {
        throw win_error(EIO);
    }
    while (::tcdrain(fd) != 0) {
        if (errno != EINTR) {
            RaiseLastError();
        }
    }
}

void ComPort::Purge() {
    CheckOpen();
    if (::tcflush(FHandle.Handle(), TCIOFLUSH) != 0) {
        RaiseLastError();
    }
}

void ComPort::Escape(int function) {
    CheckOpen();
    unsigned long request = 0;
    int bits = 0;
    switch (function) {
        case SETDTR:
            request = TIOCMBIS;
            bits = TIOCM_DTR;
            break;
        case CLRDTR:
            request = TIOCMBIC;
            bits = TIOCM_DTR;
            break;
        case SETRTS:
            request = TIOCMBIS;
            bits = TIOCM_RTS;
            break;
        case CLRRTS:
            request = TIOCMBIC;
            bits = TIOCM_RTS;
            break;
        default:
            throw win_error(EINVAL);
    }
    if (::ioctl(FHandle.Handle(), request, &bits) != 0) {
        // A pseudo-terminal has no modem lines: nothing to switch.
        if (errno == ENOTTY || errno == EINVAL) {
            return;
        }
        RaiseLastError();
    }
}

}  // namespace comprt

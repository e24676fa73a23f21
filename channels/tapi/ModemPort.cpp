#include "ModemPort.h"

#include "ComPort.h"

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Silence a Hayes modem needs before and after "+++" to take it as the escape.
constexpr auto kGuardTime = std::chrono::milliseconds(1100);

std::mutex gHangUpMutex;
std::vector<std::thread> gHangUps;

// Writes all bytes to a non-blocking descriptor, waiting up to `timeoutMs`
// for room on the line.
bool WriteAll(int fd, const char* data, size_t size, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
    return true;
}

// The escape sequence and ATH on a descriptor of its own, which it closes.
void EscapeAndHangUp(int fd) {
    std::this_thread::sleep_for(kGuardTime);
    WriteAll(fd, "+++", 3, 1000);
    std::this_thread::sleep_for(kGuardTime);
    WriteAll(fd, "ATH\r", 4, 1000);
    ::tcdrain(fd);
    ::close(fd);
}

}  // namespace

std::unique_ptr<ModemPort> ModemPort::Open(const std::string& portName) {
    auto port = std::make_unique<comprt::ComPort>();
    try {
        port->Open(portName, 19200, 1000);
        port->Escape(comprt::SETDTR);
        port->Escape(comprt::SETRTS);
    } catch (const std::exception&) {
        return nullptr;
    }
    int bits = 0;
    const bool hasLines = ::ioctl(port->Handle(), TIOCMGET, &bits) == 0;
    return std::unique_ptr<ModemPort>(new ModemPort(std::move(port), hasLines));
}

ModemPort::ModemPort(std::unique_ptr<comprt::ComPort> device, bool hasModemLines)
    : device(std::move(device)), fd(this->device->Handle()), hasModemLines(hasModemLines) {}

ModemPort::~ModemPort() = default;

bool ModemPort::WriteText(const std::string& text) {
    return WriteAll(fd, text.data(), text.size(), 1000);
}

int ModemPort::Duplicate() const {
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

void ModemPort::HangUp(bool connected) {
    if (hasModemLines) {
        device->Escape(comprt::CLRDTR);
        return;
    }
    if (!connected) {
        // Any character ends the dialling; ATH then puts the modem on hook.
        WriteText("\rATH\r");
        return;
    }
    const int copy = Duplicate();
    if (copy < 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(gHangUpMutex);
    gHangUps.emplace_back(EscapeAndHangUp, copy);
}

void ModemPort::WaitForHangUps() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(gHangUpMutex);
        threads.swap(gHangUps);
    }
    for (std::thread& t : threads) {
        t.join();
    }
}

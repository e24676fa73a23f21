#include "PtyDevice.h"

#include <QCoreApplication>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <stdexcept>

namespace {

constexpr int kSilenceMs = 30;

}  // namespace

PtyDevice::PtyDevice() {
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    slavePath = name;
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    stopEvent = ::eventfd(0, EFD_CLOEXEC);
}

PtyDevice::~PtyDevice() {
    HangUp();
    ::close(stopEvent);
}

void PtyDevice::Respond(Script newScript) {
    StopResponder();
    script = std::move(newScript);
    responder = std::thread([this] { Serve(); });
}

std::vector<Bytes> PtyDevice::Requests() const {
    std::lock_guard lock(mutex);
    return requests;
}

void PtyDevice::Send(const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(master, bytes.data() + done, bytes.size() - done);
        if (put <= 0) {
            throw std::runtime_error("write to the master failed");
        }
        done += static_cast<size_t>(put);
    }
}

Bytes PtyDevice::Receive(size_t count, std::chrono::milliseconds within) {
    Bytes got;
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd pfd{master, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        uint8_t buffer[1024];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

void PtyDevice::HangUp() {
    StopResponder();
    std::lock_guard lock(mutex);
    if (master >= 0) {
        ::close(master);
        master = -1;
    }
    if (slave >= 0) {
        ::close(slave);
        slave = -1;
    }
}

void PtyDevice::StopResponder() {
    if (!responder.joinable()) {
        return;
    }
    const uint64_t one = 1;
    (void)!::write(stopEvent, &one, sizeof one);
    responder.join();
    uint64_t drained = 0;
    (void)!::read(stopEvent, &drained, sizeof drained);
}

// Responder thread: gathers a request until silence, answers it by the script.
void PtyDevice::Serve() {
    Bytes request;
    for (;;) {
        pollfd fds[2] = {{stopEvent, POLLIN, 0}, {master, POLLIN, 0}};
        const int ready = ::poll(fds, 2, request.empty() ? -1 : kSilenceMs);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[0].revents & POLLIN) {
            return;
        }
        if (ready > 0 && (fds[1].revents & POLLIN)) {
            uint8_t buffer[1024];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) {
                request.insert(request.end(), buffer, buffer + n);
            }
            continue;
        }
        if (request.empty()) {
            continue;
        }
        const Reply reply = script(request);
        {
            std::lock_guard lock(mutex);
            requests.push_back(request);
        }
        request.clear();
        if (!reply.bytes.empty()) {
            (void)!::write(master, reply.bytes.data(), reply.bytes.size());
        }
        if (reply.hangUp) {
            std::lock_guard lock(mutex);
            ::close(master);
            master = -1;
            ::close(slave);
            slave = -1;
            return;
        }
    }
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void PumpEvents(std::chrono::milliseconds time) {
    const auto deadline = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

int ThreadCount() {
    // A sanitizer runtime starts a helper thread of its own along with the
    // program's first thread; have that happen before anything is counted.
    static const bool warmedUp = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)warmedUp;
    int count = 0;
    DIR* dir = ::opendir("/proc/self/task");
    if (dir == nullptr) {
        return -1;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    ::closedir(dir);
    return count;
}

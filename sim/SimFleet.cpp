#include "SimFleet.h"

#include "SimDevices.h"
#include "SimSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace zqsim {

namespace {

// A device's thread needs a few KB of stack (its loop, a 4 KB read buffer,
// stdio for the log); 256 KB leaves room for sanitizer builds. Only the
// pages touched are ever resident.
constexpr size_t kStackBytes = 256 * 1024;

// Descriptors per device (its listening socket and one connection), and
// for the rest of the process (standard streams, the log, the stop pipe).
constexpr rlim_t kPerDevice = 2;
constexpr rlim_t kBesides = 64;

}  // namespace

struct SimFleet::Member {
    std::unique_ptr<Simulator> simulator;  // none for a device that refuses
    int refusing = -1;                     // its bound socket
    std::string address;
    uint32_t serial = 0;
    const char* state = "live";
    pthread_t thread{};
    bool running = false;
    int status = 0;
};

SimFleet::SimFleet(const SimOptions& options, LineSink onLine, std::FILE* logStream)
    : options_(options), onLine_(std::move(onLine)), logStream_(logStream) {
    if (pipe2(stopPipe_, O_NONBLOCK | O_CLOEXEC) != 0) {
        stopPipe_[0] = stopPipe_[1] = -1;
    }
}

SimFleet::~SimFleet() {
    RequestStop();
    StopAll();
    members_.clear();
    for (int fd : stopPipe_) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void SimFleet::RequestStop() {
    if (stopPipe_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = write(stopPipe_[1], &byte, 1);
    }
}

bool SimFleet::RaiseDescriptorLimit(std::string& error) const {
    const rlim_t needed = kPerDevice * static_cast<rlim_t>(options_.fleet) + kBesides;
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= needed) {
        return true;
    }
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < needed) {
        error = "--fleet " + std::to_string(options_.fleet) + " needs " + std::to_string(needed) +
                " open files; the limit is " + std::to_string(limit.rlim_max) + " (ulimit -Hn)";
        return false;
    }
    limit.rlim_cur = needed;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        error = std::string("cannot raise the open file limit: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool SimFleet::Open(int index, Member& member, std::string& error) {
    SimOptions options = options_;
    options.content = NthDeviceContent(options_.content, index);
    if (options.net.port > 0) {
        options.net.port += index;
    }
    member.serial = ContentSerial(options.content);
    const int refuseFrom = options_.fleet - options_.fleetRefuse;
    if (index >= refuseFrom) {
        member.state = "refuse";
        member.refusing = BindRefusing(options.net, member.address, error);
        return member.refusing >= 0;
    }
    if (index >= refuseFrom - options_.fleetMute) {
        member.state = "mute";
        options.tcpMute = true;
    }
    member.simulator = std::make_unique<Simulator>(
        options, [&member](const std::string& address) { member.address = address; },
        SimLog(logStream_, "#" + std::to_string(index)), stopPipe_[0]);
    return member.simulator->Start(error);
}

bool SimFleet::StartThread(Member& member, std::string& error) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, kStackBytes);
    const int status = pthread_create(
        &member.thread, &attributes,
        [](void* data) -> void* {
            auto* m = static_cast<Member*>(data);
            m->status = m->simulator->Run();
            return nullptr;
        },
        &member);
    pthread_attr_destroy(&attributes);
    if (status != 0) {
        error = std::string("cannot start a device's thread: ") + std::strerror(status);
        return false;
    }
    member.running = true;
    return true;
}

bool SimFleet::Start(std::string& error) {
    if (stopPipe_[0] < 0) {
        error = "cannot make the stop pipe";
        return false;
    }
    if (!RaiseDescriptorLimit(error)) {
        return false;
    }
    for (int k = 0; k < options_.fleet; ++k) {
        members_.push_back(std::make_unique<Member>());
        if (!Open(k, *members_.back(), error)) {
            return false;
        }
    }
    // The devices' threads leave SIGINT and SIGTERM to the main thread.
    sigset_t blocked;
    sigset_t before;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &blocked, &before);
    bool started = true;
    for (const auto& member : members_) {
        if (member->simulator && !(started = StartThread(*member, error))) {
            break;
        }
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (!started) {
        RequestStop();
        StopAll();
        return false;
    }
    for (const auto& member : members_) {
        onLine_(member->address + " " + std::to_string(member->serial) + " " + member->state);
    }
    return true;
}

int SimFleet::Run() {
    pollfd stop{stopPipe_[0], POLLIN, 0};
    while (poll(&stop, 1, -1) < 0 && errno == EINTR) {
    }
    return StopAll();
}

int SimFleet::StopAll() {
    int status = 0;
    for (const auto& member : members_) {
        if (member->running) {
            pthread_join(member->thread, nullptr);
            member->running = false;
            status = std::max(status, member->status);
        }
        if (member->refusing >= 0) {
            close(member->refusing);
            member->refusing = -1;
        }
    }
    return status;
}

}  // namespace zqsim

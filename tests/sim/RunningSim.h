#pragma once

#include "SimFrames.h"
#include "Simulator.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The simulator's tests: a simulator on its own thread and the client's side.

using Clock = std::chrono::steady_clock;

inline constexpr auto kPatience = std::chrono::seconds(5);

// A simulator running on its own thread, as zqsim runs it; what it
// announces (line paths, addresses) is kept in order.
class RunningSim {
public:
    explicit RunningSim(const zqsim::SimOptions& options)
        : sim_(options, [this](const std::string& path) {
              std::lock_guard<std::mutex> lock(mutex_);
              paths_.push_back(path);
              changed_.notify_all();
          }) {}
    ~RunningSim() { Stop(); }

    bool Start() {
        std::string error;
        if (!sim_.Start(error)) {
            ADD_FAILURE() << error;
            return false;
        }
        thread_ = std::thread([this] { status_ = sim_.Run(); });
        return true;
    }
    int Stop() {
        sim_.RequestStop();
        if (thread_.joinable()) {
            thread_.join();
        }
        return status_;
    }
    // The n-th announcement (0 = the first), waiting for it.
    std::string Path(size_t n) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, kPatience, [&] { return paths_.size() > n; });
        return paths_.size() > n ? paths_[n] : std::string();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> paths_;
    zqsim::Simulator sim_;
    std::thread thread_;
    int status_ = -1;
};

// Reads until `done` says the bytes are complete or the patience runs out.
inline std::string ReadUntil(int fd, const std::function<bool(const std::string&)>& done,
                             Clock::duration patience = kPatience) {
    std::string got;
    const auto end = Clock::now() + patience;
    while (!done(got) && Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) > 0 && (p.revents & POLLIN) != 0) {
            char buf[1024];
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n > 0) {
                got.append(buf, static_cast<size_t>(n));
            }
        }
    }
    return got;
}

// Writes a request, then reads until `expected` bytes came.
inline std::vector<uint8_t> Exchange(int fd, const std::vector<uint8_t>& request, size_t expected) {
    EXPECT_EQ(write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    const std::string got =
        ReadUntil(fd, [&](const std::string& s) { return s.size() >= expected; });
    return {got.begin(), got.end()};
}

// A simulator without pacing, latency or big rings.
inline zqsim::SimOptions QuickOptions() {
    zqsim::SimOptions o;
    o.baud = 0;
    o.latencyMs = 0;
    for (zqsim::RingLayout& ring : o.content.rings) {
        ring = {3, 8, 0};
    }
    return o;
}

inline const std::vector<uint8_t> kSlaveIdAnswer =
    WithCrc({1, 0x11, 8, 'R', 'O', 'R', 'I', 'Z', 'Q', 1, 0});

#include "SimFrames.h"
#include "SimLine.h"
#include "Simulator.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

using namespace zqsim;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kPatience = std::chrono::seconds(5);

// A simulator running on its own thread, as zqsim runs it.
class RunningSim {
public:
    explicit RunningSim(const SimOptions& options)
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
    // The n-th line path reported (0 = the first), waiting for it.
    std::string Path(size_t n) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, kPatience, [&] { return paths_.size() > n; });
        return paths_.size() > n ? paths_[n] : std::string();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> paths_;
    Simulator sim_;
    std::thread thread_;
    int status_ = -1;
};

int OpenClient(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << path;
    if (fd >= 0) {
        SetRawLine(fd, 19200);
    }
    return fd;
}

// Reads until `done` says the bytes are complete or the patience runs out.
std::string ReadUntil(int fd, const std::function<bool(const std::string&)>& done,
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

std::vector<uint8_t> Exchange(int fd, const std::vector<uint8_t>& request, size_t expected) {
    EXPECT_EQ(write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    const std::string got =
        ReadUntil(fd, [&](const std::string& s) { return s.size() >= expected; });
    return {got.begin(), got.end()};
}

std::string Say(int fd, const std::string& text, const std::string& until) {
    EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    return ReadUntil(fd, [&](const std::string& s) { return s.find(until) != std::string::npos; });
}

bool SeesHangUp(int fd) {
    const auto end = Clock::now() + kPatience;
    while (Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) > 0 && (p.revents & POLLHUP) != 0) {
            return true;
        }
        char buf[256];
        [[maybe_unused]] const ssize_t n = read(fd, buf, sizeof buf);
    }
    return false;
}

SimOptions QuickOptions() {
    SimOptions o;
    o.baud = 0;
    o.latencyMs = 0;
    for (RingLayout& ring : o.content.rings) {
        ring = {3, 8, 0};
    }
    return o;
}

const std::vector<uint8_t> kSlaveIdAnswer =
    WithCrc({1, 0x11, 8, 'R', 'O', 'R', 'I', 'Z', 'Q', 1, 0});

TEST(SimulatorPty, AnswersThroughTheLinkAcrossClientSessions) {
    const std::string dir =
        std::string(std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "/tmp") +
        "/zqsim-test-" + std::to_string(getpid());
    SimOptions o = QuickOptions();
    o.baud = 19200;  // paced writes
    o.link = dir + "/ports/COM7";
    RunningSim sim(o);
    ASSERT_TRUE(sim.Start());
    const std::string path = sim.Path(0);
    EXPECT_EQ(std::filesystem::read_symlink(o.link).string(), path);

    for (int session = 0; session < 2; ++session) {
        const int fd = OpenClient(o.link);
        ASSERT_GE(fd, 0);
        // A frame with a bad CRC is not answered; the next one is.
        std::vector<uint8_t> bad = WithCrc({1, 0x11});
        bad[3] ^= 0xFF;
        ASSERT_EQ(write(fd, bad.data(), bad.size()), 4);
        const auto none = [](const std::string& s) { return !s.empty(); };
        EXPECT_EQ(ReadUntil(fd, none, std::chrono::milliseconds(200)), "") << session;
        EXPECT_EQ(Exchange(fd, WithCrc({1, 0x11}), kSlaveIdAnswer.size()), kSlaveIdAnswer)
            << "session " << session;
        // A client that leaves the port exclusive must not lock the next one out.
        ASSERT_EQ(ioctl(fd, TIOCEXCL), 0);
        close(fd);
    }
    int exclusive = 1;
    const auto end = Clock::now() + kPatience;
    while (exclusive != 0 && Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const int fd = OpenClient(path);
        ASSERT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
        close(fd);
    }
    EXPECT_EQ(exclusive, 0);

    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(o.link)) << "the link goes with the simulator";
    std::filesystem::remove_all(dir);
}

TEST(SimulatorPty, ServesAGivenSerialDevice) {
    // The test plays the far end: the simulator gets the slave as its device.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    SimOptions o = QuickOptions();
    o.devicePath = ptsname(master);
    RunningSim sim(o);
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(sim.Path(0), o.devicePath);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Exchange(master, WithCrc({1, 0x11}), kSlaveIdAnswer.size()), kSlaveIdAnswer)
            << "request " << i;
    }
    sim.Stop();
    close(master);
}

TEST(SimulatorPty, FaultsCountOnlyRequestsForTheDevice) {
    SimOptions o = QuickOptions();
    o.faults.push_back(FaultRule{FaultKind::Drop, 1.0, 1, 2, -1, 4});
    o.stopAfter = 3;
    RunningSim sim(o);
    ASSERT_TRUE(sim.Start());
    const int fd = OpenClient(sim.Path(0));
    ASSERT_GE(fd, 0);
    const auto any = [](const std::string& s) { return !s.empty(); };
    const auto silence = std::chrono::milliseconds(200);
    // Another device's request is no request of ours: the drop waits for request 2.
    ASSERT_EQ(write(fd, WithCrc({9, 0x11}).data(), 4), 4);
    EXPECT_EQ(ReadUntil(fd, any, silence), "");
    EXPECT_EQ(Exchange(fd, WithCrc({1, 0x11}), kSlaveIdAnswer.size()), kSlaveIdAnswer);
    ASSERT_EQ(write(fd, WithCrc({1, 0x11}).data(), 4), 4);
    EXPECT_EQ(ReadUntil(fd, any, silence), "") << "request 2 dropped";
    EXPECT_EQ(Exchange(fd, WithCrc({1, 0x11}), kSlaveIdAnswer.size()), kSlaveIdAnswer);
    ASSERT_EQ(write(fd, WithCrc({1, 0x11}).data(), 4), 4);
    EXPECT_EQ(ReadUntil(fd, any, silence), "") << "silent after 3 requests";
    close(fd);
}

TEST(SimulatorPty, HangUpClosesTheLineAndOffersAFreshOne) {
    SimOptions o = QuickOptions();
    o.hangupAfter = 1;
    RunningSim sim(o);
    ASSERT_TRUE(sim.Start());
    const int fd = OpenClient(sim.Path(0));
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Exchange(fd, WithCrc({1, 0x11}), kSlaveIdAnswer.size()), kSlaveIdAnswer);
    ASSERT_EQ(write(fd, WithCrc({1, 0x11}).data(), 4), 4);
    EXPECT_TRUE(SeesHangUp(fd));
    close(fd);

    const std::string fresh = sim.Path(1);
    ASSERT_FALSE(fresh.empty());
    const int again = OpenClient(fresh);
    ASSERT_GE(again, 0);
    EXPECT_EQ(Exchange(again, WithCrc({1, 0x11}), kSlaveIdAnswer.size()), kSlaveIdAnswer)
        << "the hang-up happens once";
    close(again);
}

TEST(SimulatorPty, ModemCallCarriesFramesUntilTheCarrierDrops) {
    SimOptions o = QuickOptions();
    o.modem = true;
    o.modemSettings.ringDelayMs = 10;
    o.modemSettings.answer = {"1234"};
    o.modemSettings.dropAfterRequests = 1;
    RunningSim sim(o);
    ASSERT_TRUE(sim.Start());
    const int fd = OpenClient(sim.Path(0));
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Say(fd, "ATZ\r", "OK\r\n"), "ATZ\r\r\nOK\r\n");
    EXPECT_EQ(Say(fd, "ATE0\r", "OK\r\n"), "ATE0\r\r\nOK\r\n");
    EXPECT_EQ(Say(fd, "ATDT1234\r", "19200\r\n"), "\r\nCONNECT 19200\r\n");
    EXPECT_EQ(Exchange(fd, WithCrc({1, 0x11}), kSlaveIdAnswer.size()), kSlaveIdAnswer);
    ASSERT_EQ(write(fd, WithCrc({1, 0x11}).data(), 4), 4);
    EXPECT_TRUE(SeesHangUp(fd));
    close(fd);
}

}  // namespace

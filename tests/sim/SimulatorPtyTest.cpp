#include "RunningSim.h"
#include "SimFrames.h"
#include "SimLine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace zqsim;

namespace {

int OpenClient(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << path;
    if (fd >= 0) {
        SetRawLine(fd, 19200);
    }
    return fd;
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

// A peer that never pauses: once connected, a server the test plays pours
// bytes at the channel without end (some hundreds of MB a second over
// loopback), bytes that never form an answer or answer headers that each
// promise a long frame. A request still ends at its time-out, and a close or
// the channel's end (the program exiting) come at once, without the memory
// of what was dropped piling up.
#include "NetPeers.h"

#include "Crc16.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <limits>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

ZQ_PRINT_CASES_BY_NAME

// The process's resident memory (`field` "VmRSS:") or its peak since the
// last ResetPeakResident ("VmHWM:"), in bytes, from /proc/self/status.
long MemoryBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string name;
    long kib = 0;
    while (status >> name) {
        if (name == field && status >> kib) {
            return kib * 1024;
        }
        status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return 0;
}

void ResetPeakResident() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Takes one connection and sends `pattern` over and over on it, as fast as
// the connection takes it, until the channel closes it or this ends.
class FloodServer {
public:
    explicit FloodServer(const Bytes& pattern) : listener(ListeningSocket(port)) {
        Bytes block;
        while (block.size() < 1024 * 1024) {
            block.insert(block.end(), pattern.begin(), pattern.end());
        }
        thread = std::thread([this, block = std::move(block)] { Serve(block); });
    }
    ~FloodServer() {
        stop = true;
        thread.join();
        ::close(listener);
    }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port); }
    bool ClosedByChanel() const { return closedByChanel; }

private:
    void Serve(const Bytes& block) {
        pollfd waiting = {listener, POLLIN, 0};
        while (!stop && ::poll(&waiting, 1, 50) <= 0) {
        }
        if (stop) {
            return;
        }
        const int peer = ::accept(listener, nullptr, nullptr);
        // Whole blocks at a time, as fast as the connection takes them; a
        // send waits at most 50 ms, so that the end of the test is seen.
        const timeval wait = {0, 50000};
        ::setsockopt(peer, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        size_t at = 0;
        while (!stop) {
            const ssize_t sent = ::send(peer, block.data() + at, block.size() - at, MSG_NOSIGNAL);
            if (sent > 0) {
                at = (at + static_cast<size_t>(sent)) % block.size();
            } else if (sent < 0 && errno != EAGAIN && errno != EINTR) {
                closedByChanel = true;
                break;
            }
        }
        ::close(peer);
    }

    int port = 0;
    int listener;
    std::atomic<bool> stop{false};
    std::atomic<bool> closedByChanel{false};
    std::thread thread;
};

// The device's archive read at address 5: kind 1, from index 0, 255 records.
const Bytes kArchiveRequest = WithCrc({0x05, 0x41, 0x01, 0x01, 0x00, 0x00, 0xFF});

Bytes Counting() {
    Bytes bytes;
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(static_cast<uint8_t>(i));
    }
    return bytes;
}

struct FloodCase {
    const char* name;
    Bytes pattern;
    // A whole frame whose CRC fails may be there at the time-out (it depends
    // on where the flood stands): it is then handed over for the task to
    // judge ("Ошибка CRC в ответе от прибора"), as a serial line's would be.
    bool badCrcMayComeOver;
};

// Whatever the flood does, what the channel drops never piles up: at no
// moment is the process's memory 100 MB above where the test began. The
// peak counts, since a buffer of dropped bytes goes again when it is freed.
class NetChanelFlood : public testing::TestWithParam<FloodCase> {
protected:
    void SetUp() override {
        ResetPeakResident();
        before = MemoryBytes("VmRSS:");
    }
    void TearDown() override { EXPECT_LT(MemoryBytes("VmHWM:") - before, 100L * 1024 * 1024); }

private:
    long before = 0;
};

bool Connect(TNetQueueIDChanel& chanel, const std::string& address, int answerMs) {
    chanel.Open(address, nmTcp, "", 3000, answerMs);
    return WaitFor([&] { return chanel.GetState() != csConnecting; }, 10s) &&
           chanel.GetState() == csConnected;
}

TEST_P(NetChanelFlood, ARequestEndsAtItsTimeOut) {
    const FloodCase& c = GetParam();
    FloodServer server(c.pattern);
    TNetQueueIDChanel chanel;
    Recorder r(chanel);
    ASSERT_TRUE(Connect(chanel, server.Address(), 500));
    ASSERT_TRUE(chanel.SendPacket(kArchiveRequest.data(), 9, 2, false));
    // Far beyond the 500 ms and the purge's 200 ms.
    ASSERT_TRUE(WaitFor([&] { return !r.lost.empty() || !r.answers.empty(); }, 10s)) << r.console;
    if (!r.answers.empty()) {
        EXPECT_TRUE(c.badCrcMayComeOver);
        ASSERT_EQ(r.answers.size(), 1u) << r.console;
        ASSERT_GE(r.answers[0].size(), 2u);
        EXPECT_EQ(Bytes(r.answers[0].begin(), r.answers[0].begin() + 2), (Bytes{0x05, 0x41}));
        EXPECT_FALSE(CheckFrameCrc(r.answers[0].data(), r.answers[0].size()));
        EXPECT_TRUE(r.lost.empty());
    } else {
        EXPECT_EQ(r.lost, std::vector<int>{2});
        EXPECT_NE(r.console.find("Прибор не отвечает"), std::string::npos) << r.console;
    }
    EXPECT_EQ(chanel.GetState(), csConnected);
}

TEST_P(NetChanelFlood, CloseEndsTheWaitAtOnce) {
    FloodServer server(GetParam().pattern);
    TNetQueueIDChanel chanel;
    Recorder r(chanel);
    ASSERT_TRUE(Connect(chanel, server.Address(), 20000));
    ASSERT_TRUE(chanel.SendPacket(kArchiveRequest.data(), 9, 2, false));
    PumpEvents(1s);
    ASSERT_TRUE(r.lost.empty()) << r.console;
    chanel.Close();
    // Far inside the 20 s the answer may take.
    EXPECT_TRUE(WaitFor([&] { return chanel.GetState() == csDisconnected; }, 5s)) << r.console;
    EXPECT_EQ(r.lost, std::vector<int>{2});
    EXPECT_TRUE(WaitFor([&] { return server.ClosedByChanel(); }, 5s));
}

TEST_P(NetChanelFlood, TheChannelEndsAtOnceWithRequestsQueued) {
    FloodServer server(GetParam().pattern);
    auto chanel = std::make_unique<TNetQueueIDChanel>();
    ASSERT_TRUE(Connect(*chanel, server.Address(), 20000));
    for (int id = 1; id <= 3; ++id) {
        ASSERT_TRUE(chanel->SendPacket(kArchiveRequest.data(), 9, id, false));
    }
    PumpEvents(500ms);
    const auto start = std::chrono::steady_clock::now();
    chanel.reset();
    // Each request would otherwise wait out its 20 s.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(WaitFor([&] { return server.ClosedByChanel(); }, 5s));
}

INSTANTIATE_TEST_SUITE_P(
    Floods, NetChanelFlood,
    testing::Values(FloodCase{"NeverAnAnswer", Counting(), false},
                    // Each one promises 255 records (4089 bytes).
                    FloodCase{"AnswerHeaders", {0x05, 0x41, 0x01, 0x01, 0x00, 0x00, 0xFF}, true}),
    [](const testing::TestParamInfo<FloodCase>& info) { return std::string(info.param.name); });

}  // namespace

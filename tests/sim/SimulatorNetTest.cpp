// The simulated device on the network, against plain sockets the test
// holds: served one client after another, answers held and cut in pieces,
// and calls out that are retried and dropped.
#include "RunningSim.h"
#include "SimSocket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace zqsim;
using std::chrono::milliseconds;

namespace {

// A client connected to "host:port" or "[IPv6]:port"; -1 on failure.
int ConnectTo(const std::string& address) {
    NetSettings where;
    std::string error;
    if (!ParseNetAddress(address, false, where, error)) {
        ADD_FAILURE() << error;
        return -1;
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (getaddrinfo(where.host.c_str(), std::to_string(where.port).c_str(), &hints, &list) != 0) {
        ADD_FAILURE() << address;
        return -1;
    }
    int fd = socket(list->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, list->ai_addr, list->ai_addrlen) != 0) {
        close(fd);
        fd = -1;
    }
    freeaddrinfo(list);
    EXPECT_GE(fd, 0) << address;
    return fd;
}

void Send(int fd, const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
}

std::string Text(const std::vector<uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

// True when the peer ends the stream within the patience.
bool SeesEnd(int fd) {
    const auto end = Clock::now() + kPatience;
    while (Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        char buf[256];
        if (poll(&p, 1, 50) > 0 && read(fd, buf, sizeof buf) == 0) {
            return true;
        }
    }
    return false;
}

bool HasIpv6Loopback() {
    const int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool ok = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) {
        close(fd);
    }
    return ok;
}

struct Loopback {
    const char* name;
    const char* listen;  // --tcp-listen
    const char* prefix;  // of the address announced
};

class SimulatorListen : public testing::TestWithParam<Loopback> {};

TEST_P(SimulatorListen, ServesOneClientAfterAnotherBannerFirst) {
    if (std::string(GetParam().name) == "IPv6" && !HasIpv6Loopback()) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    SimOptions o = QuickOptions();
    o.baud = 19200;  // paced writes
    std::string error;
    ASSERT_TRUE(ParseNetAddress(GetParam().listen, true, o.net, error)) << error;
    o.banner = "CONNECT 9600\r\n";
    RunningSim sim(o);
    ASSERT_TRUE(sim.Start());
    const std::string address = sim.Path(0);
    ASSERT_EQ(address.rfind(GetParam().prefix, 0), 0u) << address;
    EXPECT_NE(address.substr(address.rfind(':')), ":0") << "an ephemeral port is announced";

    const int first = ConnectTo(address);
    ASSERT_GE(first, 0);
    const std::string expected = o.banner + Text(kSlaveIdAnswer);
    const auto whole = [&](const std::string& s) { return s.size() >= expected.size(); };
    // The second client waits while the first is served: not even the banner.
    const int second = ConnectTo(address);
    ASSERT_GE(second, 0);
    Send(second, WithCrc({1, 0x11}));
    EXPECT_EQ(ReadUntil(second, whole, milliseconds(200)), "");

    Send(first, WithCrc({1, 0x11}));
    EXPECT_EQ(ReadUntil(first, whole), expected);
    close(first);
    EXPECT_EQ(ReadUntil(second, whole), expected) << "taken once the first has closed";
    close(second);
    EXPECT_EQ(sim.Stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Loopbacks, SimulatorListen,
                         testing::Values(Loopback{"IPv4", "0", "127.0.0.1:"},
                                         Loopback{"IPv6", "[::1]:0", "[::1]:"}),
                         [](const testing::TestParamInfo<Loopback>& info) {
                             return std::string(info.param.name);
                         });

TEST(SimulatorNet, AnswerHeldThenSentInPiecesWithGaps) {
    SimOptions o = QuickOptions();
    o.net = {NetSettings::Mode::Listen, "127.0.0.1", 0};
    o.answerDelayMs = 300;
    o.segmentBytes = 4;
    o.segmentGapMs = 150;
    RunningSim sim(o);
    ASSERT_TRUE(sim.Start());
    const int fd = ConnectTo(sim.Path(0));
    ASSERT_GE(fd, 0);

    const auto sent = Clock::now();
    Send(fd, WithCrc({1, 0x11}));
    std::string got;
    std::vector<size_t> reads;  // bytes in hand after each read
    Clock::time_point first{};
    const auto end = Clock::now() + kPatience;
    while (got.size() < kSlaveIdAnswer.size() && Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        char buf[64];
        const ssize_t n = poll(&p, 1, 50) > 0 ? read(fd, buf, sizeof buf) : 0;
        if (n > 0) {
            first = got.empty() ? Clock::now() : first;
            got.append(buf, static_cast<size_t>(n));
            reads.push_back(got.size());
        }
    }
    const auto done = Clock::now();
    EXPECT_EQ(got, Text(kSlaveIdAnswer));
    // 13 bytes: pieces of 4, 4, 4 and 1, each written whole.
    EXPECT_GE(reads.size(), 2u) << "the answer came in one piece";
    for (size_t n : reads) {
        EXPECT_TRUE(n % 4 == 0 || n == kSlaveIdAnswer.size()) << n << " bytes in hand";
    }
    EXPECT_GE(first - sent, milliseconds(300)) << "the first byte is held";
    EXPECT_GE(done - sent, milliseconds(300 + 3 * 150)) << "three gaps between four pieces";
    close(fd);
}

TEST(SimulatorNet, CallsInAgainAfterARefusalAndAfterADrop) {
    // Bound but not yet listening: the simulator's first call is refused.
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string here = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    SimOptions o = QuickOptions();
    std::string error;
    ASSERT_TRUE(ParseNetAddress(here, false, o.net, error)) << error;
    o.tcpDropAfter = 1;
    RunningSim sim(o);
    ASSERT_TRUE(sim.Start());
    ASSERT_EQ(listen(listener, 1), 0);
    for (size_t call = 0; call < 2; ++call) {
        pollfd p{listener, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 5000), 1) << "call " << call;
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(sim.Path(call), "connected to " + here);
        EXPECT_EQ(Exchange(fd, WithCrc({1, 0x11}), kSlaveIdAnswer.size()), kSlaveIdAnswer)
            << "call " << call;
        EXPECT_TRUE(SeesEnd(fd)) << "dropped after one answer, call " << call;
        close(fd);
    }
    close(listener);
}

}  // namespace

// The network channel over loopback sockets, against peers the test plays:
// answers in pieces after a modem's text, the failures of a network (refused,
// unknown name, a mute peer, a peer that hangs up mid-answer), an RFC 2217
// server's telnet faults, and waiting for the device's call with a list of
// peers let in.
#include "NetPeers.h"
#include "TelnetCodec.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace std::chrono_literals;

namespace {

ZQ_PRINT_CASES_BY_NAME

// Connects from `from` (a loopback address) to 127.0.0.1:port; -1 when refused.
int ConnectFrom(const char* from, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &local.sin_addr);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<uint16_t>(port));
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A serial device server the test plays: it takes one connection and, for
// each request, writes the pieces `script` gives, each after its pause.
class ScriptedServer {
public:
    struct Piece {
        Bytes bytes;
        std::chrono::milliseconds pause;
    };
    using Script = std::function<std::vector<Piece>(const Bytes& request)>;

    explicit ScriptedServer(Script script) : listener(ListeningSocket(port)) {
        thread = std::thread([this, script = std::move(script)] {
            const int peer = ::accept(listener, nullptr, nullptr);
            uint8_t buffer[512];
            ssize_t got = 0;
            while (!stop && (got = ::recv(peer, buffer, sizeof buffer, 0)) > 0) {
                for (const Piece& piece : script(Bytes(buffer, buffer + got))) {
                    std::this_thread::sleep_for(piece.pause);
                    if (piece.bytes.empty()) {
                        // An empty piece hangs up; the server still hears
                        // when the channel closes its end.
                        ::shutdown(peer, SHUT_WR);
                        break;
                    }
                    ::send(peer, piece.bytes.data(), piece.bytes.size(), MSG_NOSIGNAL);
                }
            }
            closedByChanel = got == 0;
            ::close(peer);
        });
    }
    ~ScriptedServer() {
        stop = true;
        ::shutdown(listener, SHUT_RDWR);
        thread.join();
        ::close(listener);
    }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port); }
    // The channel closed the connection.
    bool ClosedByChanel() const { return closedByChanel; }

private:
    std::atomic<bool> closedByChanel{false};
    int port = 0;
    int listener;
    std::atomic<bool> stop{false};
    std::thread thread;
};

const Bytes kIdentRequest = WithCrc({0x05, 0x11});
const Bytes kIdentAnswer = WithCrc({0x05, 0x11, 0x09, 'R', 'O', 'R', 'I', 1, 2, 1, 0, 0xFF});

bool Connect(TNetQueueIDChanel& chanel, const std::string& address, int answerMs = 2000) {
    chanel.Open(address, nmTcp, "", 3000, answerMs);
    return WaitFor([&] { return chanel.GetState() != csConnecting; }, 10s) &&
           chanel.GetState() == csConnected;
}

TEST(NetChanel, AnswerInPiecesAfterAModemLineIsOneFrame) {
    ScriptedServer server([](const Bytes&) {
        const Bytes line = {'C', 'O', 'N', 'N', 'E', 'C', 'T', ' ', '9', '6', '0', '0', '\r', '\n'};
        const Bytes& a = kIdentAnswer;
        return std::vector<ScriptedServer::Piece>{{line, 0ms},
                                                  {Bytes(a.begin(), a.begin() + 2), 50ms},
                                                  {Bytes(a.begin() + 2, a.begin() + 9), 300ms},
                                                  {Bytes(a.begin() + 9, a.end()), 300ms}};
    });
    TNetQueueIDChanel chanel;
    Recorder r(chanel);
    ASSERT_TRUE(Connect(chanel, server.Address()));
    ASSERT_TRUE(chanel.SendPacket(kIdentRequest.data(), 4, 2, false));
    ASSERT_TRUE(WaitFor([&] { return !r.answers.empty() || !r.lost.empty(); }, 10s));
    ASSERT_EQ(r.answers.size(), 1u) << r.console;
    EXPECT_EQ(r.answers[0], kIdentAnswer);
    EXPECT_EQ(r.ids[0], 2);
    EXPECT_NE(r.console.find("Соединение с " + server.Address() + " установлено"),
              std::string::npos);
    EXPECT_NE(r.console.find("Пропущено 14 байт перед ответом"), std::string::npos);
}

TEST(NetChanel, MuteOrHangingUpPeerLosesThePacket) {
    // A peer that takes the request and says nothing: lost at the time-out,
    // the connection stays.
    {
        ScriptedServer mute([](const Bytes&) { return std::vector<ScriptedServer::Piece>{}; });
        TNetQueueIDChanel chanel;
        Recorder r(chanel);
        ASSERT_TRUE(Connect(chanel, mute.Address(), 300));
        chanel.SendPacket(kIdentRequest.data(), 4, 2, false);
        ASSERT_TRUE(WaitFor([&] { return !r.lost.empty(); }, 5s));
        EXPECT_TRUE(r.answers.empty());
        EXPECT_EQ(chanel.GetState(), csConnected);
        EXPECT_NE(r.console.find("Прибор не отвечает"), std::string::npos);
    }
    // Half an answer, then the peer hangs up: the channel disconnects first.
    {
        ScriptedServer dropping([](const Bytes&) {
            return std::vector<ScriptedServer::Piece>{
                {Bytes(kIdentAnswer.begin(), kIdentAnswer.begin() + 5), 0ms}, {Bytes{}, 50ms}};
        });
        TNetQueueIDChanel chanel;
        Recorder r(chanel);
        ASSERT_TRUE(Connect(chanel, dropping.Address()));
        chanel.SendPacket(kIdentRequest.data(), 4, 2, false);
        ASSERT_TRUE(WaitFor([&] { return !r.lost.empty(); }, 5s));
        EXPECT_EQ(r.states.back(), csDisconnected);
        EXPECT_TRUE(r.answers.empty());
        EXPECT_NE(r.console.find("закрыл соединение"), std::string::npos) << r.console;
    }
}

struct FailureCase {
    const char* name;
    std::string address;
    const char* reason;
};

class NetChanelFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(NetChanelFailure, EndsDisconnectedWithTheReason) {
    TNetQueueIDChanel chanel;
    Recorder r(chanel);
    chanel.Open(GetParam().address, nmTcp, "", 3000, 1000);
    ASSERT_TRUE(WaitFor([&] { return r.states.size() == 2; }, 10s));
    EXPECT_EQ(r.states, (std::vector<ChanelState>{csConnecting, csDisconnected}));
    EXPECT_NE(r.console.find("Соединение не установлено"), std::string::npos);
    EXPECT_NE(r.console.find(GetParam().reason), std::string::npos) << r.console;
}

const RefusingPort kRefusing;

INSTANTIATE_TEST_SUITE_P(
    Failures, NetChanelFailure,
    testing::Values(FailureCase{"Refused", kRefusing.Address(), "Connection refused"},
                    FailureCase{"UnknownName", "no-such-meter.invalid:4001", "имя не найдено"},
                    FailureCase{"MalformedAddress", "fe80::1:4001", "Неверный сетевой адрес"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// The channel listens on a port the system picks and names it.
int OpenListening(TNetQueueIDChanel& chanel, const Recorder& r, const std::string& address,
                  const std::string& allowed, int limitMs) {
    chanel.Open(address, nmListen, allowed, limitMs, 1000);
    int port = 0;
    WaitFor([&] { return (port = ListenedPort(r.console)) != 0; }, 5s);
    return port;
}

TEST(NetChanel, WaitingForTheCallTakesOneAllowedPeer) {
    TNetQueueIDChanel chanel;
    Recorder r(chanel);
    const int port = OpenListening(chanel, r, "0", "127.0.0.2", 10000);
    ASSERT_NE(port, 0) << r.console;
    // A stranger is let in by the system and turned away by the channel.
    int stranger = -1;
    ASSERT_TRUE(WaitFor([&] { return (stranger = ConnectFrom("127.0.0.1", port)) >= 0; }, 5s));
    ASSERT_TRUE(WaitFor([&] { return r.console.find("Отклонено") != std::string::npos; }, 5s));
    EXPECT_EQ(chanel.GetState(), csConnecting);
    const int device = ConnectFrom("127.0.0.2", port);
    ASSERT_GE(device, 0);
    ASSERT_TRUE(WaitFor([&] { return chanel.GetState() == csConnected; }, 5s));
    // Nobody else gets in once the device is there.
    EXPECT_EQ(ConnectFrom("127.0.0.2", port), -1);
    EXPECT_NE(r.console.find("Прибор позвонил с 127.0.0.2"), std::string::npos) << r.console;
    ::close(stranger);
    ::close(device);
}

TEST(NetChanel, WaitForTheCallEndsAtItsLimitOrAtClose) {
    {
        TNetQueueIDChanel chanel;
        Recorder r(chanel);
        const int port = OpenListening(chanel, r, "127.0.0.1:0", "", 300);
        ASSERT_TRUE(WaitFor([&] { return chanel.GetState() == csDisconnected; }, 5s));
        EXPECT_NE(r.console.find("127.0.0.1:" + std::to_string(port) + ": никто не позвонил"),
                  std::string::npos)
            << r.console;
    }
    TNetQueueIDChanel chanel;
    Recorder r(chanel);
    ASSERT_NE(OpenListening(chanel, r, "127.0.0.1:0", "", 120000), 0) << r.console;
    chanel.Close();
    // Far inside the two minutes the call may take.
    EXPECT_TRUE(WaitFor([&] { return chanel.GetState() == csDisconnected; }, 5s));
}

constexpr uint8_t IAC = TelnetCodec::IAC;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Escaped(const Bytes& data) {
    return TelnetCodec::Encode(data.data(), data.size());
}

// A subnegotiation holding `inside` (sent as it stands) past its 64th byte.
Bytes LongSubWith(const Bytes& inside) {
    Bytes sub = {IAC, TelnetCodec::SB, TelnetCodec::kComPort, 7};
    sub.resize(sub.size() + 70, 0x20);
    return sub + inside;
}

const Bytes kBinaryBothWays = {IAC, TelnetCodec::DO, 0, IAC, TelnetCodec::WILL, 0};
const Bytes kOtherIdentAnswer = WithCrc({0x05, 0x11, 0x09, 'X', 'X', 'X', 'X', 9, 9, 9, 0, 0xFF});
const Bytes kSe = {IAC, TelnetCodec::SE};

struct ServerCase {
    const char* name;
    int mode;
    Bytes greetingReply;  // to the RFC 2217 greeting
    std::vector<ScriptedServer::Piece> answer;
    bool answered;  // kIdentAnswer comes through
    const char* logged;
    bool closed;  // the channel closes the connection there and then
};

class NetChanelServer : public testing::TestWithParam<ServerCase> {};

TEST_P(NetChanelServer, TakesOnlyTheDeviceAnswerAndClosesABrokenLink) {
    const ServerCase& c = GetParam();
    ScriptedServer server([&c](const Bytes& request) {
        if (!request.empty() && request[0] == IAC) {
            return std::vector<ScriptedServer::Piece>{{c.greetingReply, 0ms}};
        }
        return c.answer;
    });
    TNetQueueIDChanel chanel;
    Recorder r(chanel);
    chanel.Open(server.Address(), c.mode, "", 3000, 500);
    ASSERT_TRUE(WaitFor([&] { return chanel.GetState() != csConnecting; }, 10s));
    if (chanel.GetState() == csConnected) {
        chanel.SendPacket(kIdentRequest.data(), 4, 2, false);
        ASSERT_TRUE(WaitFor([&] { return !r.answers.empty() || !r.lost.empty(); }, 10s));
    }
    EXPECT_EQ(r.answers, c.answered ? std::vector<Bytes>{kIdentAnswer} : std::vector<Bytes>{});
    EXPECT_NE(r.console.find(c.logged), std::string::npos) << r.console;
    EXPECT_EQ(r.console.find("Сервер принял"), std::string::npos) << r.console;
    // The channel still exists: only a close of its own ends the connection.
    EXPECT_EQ(WaitFor([&] { return server.ClosedByChanel(); }, c.closed ? 5s : 0ms), c.closed);
    EXPECT_EQ(chanel.GetState(), c.closed ? csDisconnected : csConnected);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, NetChanelServer,
    testing::Values(
        ServerCase{"LineSetOtherwise",
                   nmRfc2217,
                   kBinaryBothWays + Bytes{IAC, TelnetCodec::WILL, TelnetCodec::kComPort, IAC,
                                           TelnetCodec::SB, TelnetCodec::kComPort, 101, 0, 0, 0x25,
                                           0x80, IAC, TelnetCodec::SE},
                   {{Escaped(kIdentAnswer), 0ms}},
                   true,
                   "RFC 2217: сервер установил скорость 9600 бит/с вместо 19200 бит/с",
                   false},
        ServerCase{
            "AnswerHiddenInALongSubnegotiation",
            nmRfc2217,
            kBinaryBothWays,
            {{LongSubWith(Bytes{IAC, TelnetCodec::WILL, 1} + Escaped(kOtherIdentAnswer)) + kSe,
              0ms},
             {Escaped(kIdentAnswer), 50ms}},
            true,
            "Отброшено телнет-субсогласование",
            false},
        ServerCase{"BinaryRefused",
                   nmRfc2217,
                   {IAC, TelnetCodec::WONT, 0, IAC, TelnetCodec::DONT, 0},
                   {},
                   false,
                   "сервер отказался от двоичного режима",
                   true},
        ServerCase{"UnendedSubnegotiation",
                   nmRfc2217,
                   kBinaryBothWays,
                   {{LongSubWith(Escaped(kIdentAnswer)), 0ms}},
                   false,
                   "телнет-субсогласование не завершено",
                   true},
        ServerCase{"PeerHangsUpMidAnswer",
                   nmTcp,
                   {},
                   {{Bytes(kIdentAnswer.begin(), kIdentAnswer.begin() + 5), 0ms}, {Bytes{}, 50ms}},
                   false,
                   "закрыл соединение",
                   true}),
    [](const testing::TestParamInfo<ServerCase>& info) { return std::string(info.param.name); });

}  // namespace

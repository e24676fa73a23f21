// The COM-port channel end to end over a pseudo-terminal: states, numbered
// packets and their answers as events on the GUI thread, failures as lost
// packets, and a destruction that calls nobody back and leaves no thread.
#include "PtyDevice.h"
#include "TComPortQueueIDChanel.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

class Lamp : public ActivityIndicator {
public:
    void SetColor(uint32_t color) override { colors.push_back(color); }
    std::vector<uint32_t> colors;
};

// Everything a channel raised, in order, each checked to be on the GUI thread.
struct Recorder {
    struct Answer {
        Bytes bytes;
        int packetId;
    };
    explicit Recorder(TComPortQueueIDChanel& chanel) {
        const auto gui = std::this_thread::get_id();
        chanel.SetOnChanelStateEvent([this, gui](ChanelState s) {
            EXPECT_EQ(std::this_thread::get_id(), gui);
            states.push_back(s);
            ++events;
        });
        chanel.SetOnRecvPacketEvent([this, gui](const void* data, uint16_t length, int id) {
            EXPECT_EQ(std::this_thread::get_id(), gui);
            const auto* bytes = static_cast<const uint8_t*>(data);
            answers.push_back({Bytes(bytes, bytes + length), id});
            ++events;
        });
        chanel.SetOnLostPacketEvent([this, gui](int id) {
            EXPECT_EQ(std::this_thread::get_id(), gui);
            lost.push_back(id);
            ++events;
        });
        chanel.SetConsoleFunction([this, gui](const std::string& text) {
            EXPECT_EQ(std::this_thread::get_id(), gui);
            console.push_back(text);
            ++events;
        });
    }
    std::vector<ChanelState> states;
    std::vector<Answer> answers;
    std::vector<int> lost;
    std::vector<std::string> console;
    int events = 0;
};

// An answer that names the request it answers: the request reversed.
PtyDevice::Reply Reversed(const Bytes& request) {
    return {Bytes(request.rbegin(), request.rend())};
}

int OpenOn(TComPortQueueIDChanel& chanel, const std::string& port, int readTotalTimeout = 1000) {
    return chanel.Open(port, 19200, readTotalTimeout, 20, true, false, false);
}

bool WaitState(TComPortQueueIDChanel& chanel, ChanelState state) {
    return WaitFor([&] { return chanel.GetState() == state; }, 10s);
}

TEST(ComPortChanel, CarriesANumberedPacketAndItsAnswer) {
    PtyDevice device;
    device.Respond(Reversed);
    TComPortQueueIDChanel chanel;
    Recorder recorder(chanel);
    Lamp rx, tx;
    chanel.SetRxControl(&rx);
    chanel.SetTxControl(&tx);
    EXPECT_EQ(chanel.GetChanelKind(), 5);
    EXPECT_EQ(chanel.GetPendingCount(), 0);

    EXPECT_EQ(OpenOn(chanel, device.SlavePath()), 1);
    // csConnecting is raised before Open returns.
    EXPECT_EQ(recorder.states, std::vector<ChanelState>{csConnecting});
    EXPECT_EQ(chanel.GetPendingCount(), 1);
    ASSERT_TRUE(WaitState(chanel, csConnected));
    EXPECT_EQ(chanel.GetPendingCount(), 0);

    const uint8_t frame[] = {0x01, 0x11, 0xC0, 0x2C};
    EXPECT_TRUE(chanel.SendPacket(frame, sizeof frame, 2, false));
    EXPECT_TRUE(recorder.answers.empty());  // never from inside SendPacket
    ASSERT_TRUE(WaitFor([&] { return !recorder.answers.empty(); }));
    EXPECT_EQ(recorder.answers[0].bytes, (Bytes{0x2C, 0xC0, 0x11, 0x01}));
    EXPECT_EQ(recorder.answers[0].packetId, 2);
    EXPECT_TRUE(recorder.lost.empty());
    EXPECT_TRUE(recorder.console.empty());
    EXPECT_NE(std::find(rx.colors.begin(), rx.colors.end(), clYellow), rx.colors.end());
    EXPECT_NE(std::find(tx.colors.begin(), tx.colors.end(), clYellow), tx.colors.end());

    chanel.Close();
    ASSERT_TRUE(WaitState(chanel, csDisconnected));
    EXPECT_EQ(recorder.states,
              (std::vector<ChanelState>{csConnecting, csConnected, csDisconnected}));
    // A closed channel opens again.
    EXPECT_EQ(OpenOn(chanel, device.SlavePath()), 1);
    EXPECT_TRUE(WaitState(chanel, csConnected));
}

TEST(ComPortChanel, TwoPacketsAreAnsweredInOrder) {
    PtyDevice device;
    device.Respond(Reversed);
    TComPortQueueIDChanel chanel;
    Recorder recorder(chanel);
    OpenOn(chanel, device.SlavePath());
    ASSERT_TRUE(WaitState(chanel, csConnected));
    const uint8_t first[] = {1, 2, 3};
    const uint8_t second[] = {4, 5, 6, 7};
    EXPECT_TRUE(chanel.SendPacket(first, sizeof first, 10, false));
    EXPECT_TRUE(chanel.SendPacket(second, sizeof second, 11, false));
    EXPECT_EQ(chanel.GetPendingCount(), 2);
    ASSERT_TRUE(WaitFor([&] { return recorder.answers.size() == 2; }));
    EXPECT_EQ(recorder.answers[0].packetId, 10);
    EXPECT_EQ(recorder.answers[0].bytes, (Bytes{3, 2, 1}));
    EXPECT_EQ(recorder.answers[1].packetId, 11);
    EXPECT_EQ(recorder.answers[1].bytes, (Bytes{7, 6, 5, 4}));
    EXPECT_EQ(chanel.GetPendingCount(), 0);
}

TEST(ComPortChanel, OpenWhileNotDisconnectedAndSendBeforeConnected) {
    PtyDevice device;
    TComPortQueueIDChanel chanel;
    Recorder recorder(chanel);
    const uint8_t frame[] = {1};
    EXPECT_FALSE(chanel.SendPacket(frame, 1, 1, false));  // disconnected
    EXPECT_EQ(OpenOn(chanel, device.SlavePath()), 1);
    EXPECT_FALSE(chanel.SendPacket(frame, 1, 1, false));  // still connecting
    EXPECT_EQ(OpenOn(chanel, device.SlavePath()), -2);
    EXPECT_EQ(chanel.GetPendingCount(), 1);  // only the first open
    ASSERT_TRUE(WaitState(chanel, csConnected));
    EXPECT_EQ(OpenOn(chanel, device.SlavePath()), -2);
    PumpEvents(100ms);
    EXPECT_EQ(recorder.states, (std::vector<ChanelState>{csConnecting, csConnected}));
    EXPECT_TRUE(recorder.lost.empty());
    EXPECT_TRUE(recorder.answers.empty());
    // Packets the channel cannot carry are refused, not cut.
    const Bytes tooLong(513, 0x11);
    EXPECT_FALSE(chanel.SendPacket(tooLong.data(), 513, 3, false));
    EXPECT_FALSE(chanel.SendPacket(frame, -1, 4, false));
    EXPECT_EQ(chanel.GetPendingCount(), 0);
}

TEST(ComPortChanel, MissingPortReportsTheTextAndDisconnects) {
    TComPortQueueIDChanel chanel;
    Recorder recorder(chanel);
    EXPECT_EQ(OpenOn(chanel, "/dev/zq-no-such-port"), 1);
    ASSERT_TRUE(WaitFor([&] { return recorder.states.size() == 2; }));
    EXPECT_EQ(recorder.states, (std::vector<ChanelState>{csConnecting, csDisconnected}));
    // The fixed text, then what the system said.
    EXPECT_EQ(recorder.console,
              std::vector<std::string>{"COM-порт не открыт: /dev/zq-no-such-port: " +
                                       std::string(std::strerror(ENOENT))});
    // Closing the closed channel still runs a close, which raises nothing.
    chanel.Close();
    EXPECT_EQ(chanel.GetPendingCount(), 1);
    ASSERT_TRUE(WaitFor([&] { return chanel.GetPendingCount() == 0; }));
    EXPECT_EQ(recorder.states.size(), 2u);
    EXPECT_EQ(recorder.console.size(), 1u);
}

TEST(ComPortChanel, UnansweredPacketIsLostWithTheTextUnlessQuiet) {
    PtyDevice device;
    TComPortQueueIDChanel chanel;
    Recorder recorder(chanel);
    OpenOn(chanel, device.SlavePath(), 200);
    ASSERT_TRUE(WaitState(chanel, csConnected));
    const uint8_t frame[] = {0x01, 0x04};
    chanel.SendPacket(frame, sizeof frame, 5, false);
    chanel.SendPacket(frame, sizeof frame, 6, true);
    ASSERT_TRUE(WaitFor([&] { return recorder.lost.size() == 2; }));
    EXPECT_EQ(recorder.lost, (std::vector<int>{5, 6}));
    EXPECT_EQ(recorder.console, std::vector<std::string>{"Прибор не отвечает"});
    EXPECT_TRUE(recorder.answers.empty());
}

TEST(ComPortChanel, LongAnswerIsCutAndItsRestPurged) {
    PtyDevice device;
    device.Respond([](const Bytes& request) {
        if (request[0] == 1) {
            Bytes flood(600);
            for (size_t i = 0; i < flood.size(); ++i) {
                flood[i] = static_cast<uint8_t>(i);
            }
            return PtyDevice::Reply{flood};
        }
        return PtyDevice::Reply{{0xAA, 0xBB, 0xCC}};
    });
    TComPortQueueIDChanel chanel;
    Recorder recorder(chanel);
    OpenOn(chanel, device.SlavePath());
    ASSERT_TRUE(WaitState(chanel, csConnected));
    const uint8_t first[] = {1};
    chanel.SendPacket(first, 1, 1, false);
    ASSERT_TRUE(WaitFor([&] { return recorder.answers.size() == 1; }));
    ASSERT_EQ(recorder.answers[0].bytes.size(), 512u);
    EXPECT_EQ(recorder.answers[0].bytes[511], static_cast<uint8_t>(511 & 0xFF));
    const uint8_t second[] = {2};
    chanel.SendPacket(second, 1, 2, false);
    ASSERT_TRUE(WaitFor([&] { return recorder.answers.size() == 2; }));
    EXPECT_EQ(recorder.answers[1].bytes, (Bytes{0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(recorder.answers[1].packetId, 2);
}

TEST(ComPortChanel, BusyQueueDropsThePacketSilently) {
    PtyDevice device;  // silent: every packet waits out its read
    TComPortQueueIDChanel chanel;
    Recorder recorder(chanel);
    OpenOn(chanel, device.SlavePath(), 100);
    ASSERT_TRUE(WaitState(chanel, csConnected));
    const uint8_t frame[] = {0x01};
    // No notice is handled in between, so the count only rises.
    for (int id = 1; id <= 6; ++id) {
        EXPECT_TRUE(chanel.SendPacket(frame, 1, id, true));
    }
    EXPECT_EQ(chanel.GetPendingCount(), 5);
    ASSERT_TRUE(WaitFor([&] { return recorder.lost.size() == 5; }, 15s));
    PumpEvents(300ms);
    EXPECT_EQ(recorder.lost, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(ComPortChanel, FarSideHangingUpLosesThePacketAndTheProgramRunsOn) {
    auto device = std::make_unique<PtyDevice>();
    device->Respond([](const Bytes&) { return PtyDevice::Reply{{}, true}; });
    TComPortQueueIDChanel chanel;
    Recorder recorder(chanel);
    OpenOn(chanel, device->SlavePath(), 5000);
    ASSERT_TRUE(WaitState(chanel, csConnected));
    const uint8_t frame[] = {0x01, 0x03};
    chanel.SendPacket(frame, sizeof frame, 8, false);
    ASSERT_TRUE(WaitFor([&] { return !recorder.lost.empty(); }));
    EXPECT_EQ(recorder.lost, std::vector<int>{8});
    ASSERT_EQ(recorder.console.size(), 1u);
    // The next packet on the dead line fails as well, without waiting 5 s.
    chanel.SendPacket(frame, sizeof frame, 9, false);
    ASSERT_TRUE(WaitFor([&] { return recorder.lost.size() == 2; }, 4s));
    chanel.Close();
    ASSERT_TRUE(WaitState(chanel, csDisconnected));

    // The same channel goes on with another device.
    device = std::make_unique<PtyDevice>();
    device->Respond(Reversed);
    OpenOn(chanel, device->SlavePath());
    ASSERT_TRUE(WaitState(chanel, csConnected));
    chanel.SendPacket(frame, sizeof frame, 10, false);
    ASSERT_TRUE(WaitFor([&] { return !recorder.answers.empty(); }));
    EXPECT_EQ(recorder.answers[0].packetId, 10);
}

TEST(ComPortChanel, DeletingAnOpenChannelRaisesNothingAndLeavesNoThread) {
    PtyDevice device;
    device.Respond(Reversed);
    const int threadsBefore = ThreadCount();
    auto chanel = std::make_unique<TComPortQueueIDChanel>();
    EXPECT_EQ(ThreadCount(), threadsBefore + 1);  // the worker
    Recorder recorder(*chanel);
    OpenOn(*chanel, device.SlavePath());
    ASSERT_TRUE(WaitState(*chanel, csConnected));
    const uint8_t frame[] = {1, 2};
    chanel->SendPacket(frame, sizeof frame, 3, false);
    chanel->SendPacket(frame, sizeof frame, 4, false);
    const int eventsBefore = recorder.events;
    chanel.reset();  // the two packets are still queued or under way
    EXPECT_EQ(recorder.events, eventsBefore);
    PumpEvents(200ms);  // their notices were discarded with the window
    EXPECT_EQ(recorder.events, eventsBefore);
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() == threadsBefore; }));
    // The port was closed: it opens again at once.
    TComPortQueueIDChanel next;
    OpenOn(next, device.SlavePath());
    EXPECT_TRUE(WaitState(next, csConnected));
}

// What a channel built on this one (a modem channel) does: adopt a port that
// is already open, and hear of the carrier through OnPortEvent.
class AdoptingChanel : public TComPortQueueIDChanel {
public:
    void AttachPort(int handle) {
        ChanelCommonStruct& data = TailData();
        data.PortHandle = handle;
        data.ReadTotalTimeout = 1000;
        data.ReadIntervalTimeout = 20;
        PushCommand(cmdAttach);
    }
    void OnPortEvent() override {
        EXPECT_EQ(std::this_thread::get_id(), gui);
        ++portEvents;
        Close();
    }
    std::thread::id gui = std::this_thread::get_id();
    int portEvents = 0;
};

TEST(ComPortChanel, AttachedPortCarriesPacketsAndReportsTheCarrier) {
    PtyDevice device;
    device.Respond(Reversed);
    const int callPort = ::open(device.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(callPort, 0);
    AdoptingChanel chanel;
    Recorder recorder(chanel);
    chanel.AttachPort(callPort);
    ASSERT_TRUE(WaitState(chanel, csConnected));
    const uint8_t frame[] = {9, 8};
    chanel.SendPacket(frame, sizeof frame, 1, false);
    ASSERT_TRUE(WaitFor([&] { return recorder.answers.size() == 1; }));
    EXPECT_EQ(recorder.answers[0].bytes, (Bytes{8, 9}));
    EXPECT_EQ(chanel.portEvents, 0);

    device.HangUp();  // the carrier drops
    ASSERT_TRUE(WaitState(chanel, csDisconnected));
    PumpEvents(200ms);
    EXPECT_EQ(chanel.portEvents, 1);
    EXPECT_EQ(recorder.states, (std::vector<ChanelState>{csConnected, csDisconnected}));
    EXPECT_NE(::fcntl(callPort, F_GETFD), -1);  // still the owner's to close
    ::close(callPort);
}

}  // namespace

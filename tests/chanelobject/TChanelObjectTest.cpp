// The channel root: state events, the activity lamps and their 50 ms timer,
// and a destruction that calls nobody back.
#include "TQueueIDChanel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <vector>

namespace {

class Lamp : public ActivityIndicator {
public:
    void SetColor(uint32_t color) override { colors.push_back(color); }
    std::vector<uint32_t> colors;
};

// Opens the protected operations to the test.
class ProbeChanel : public TQueueIDChanel {
public:
    using TChanelObject::SetState;
    using TChanelObject::ShowActivity;
    using TChanelObject::TimerTick;
    using TChanelObject::WriteConsole;
    void OnTimerTick() override { ++timerTicks; }
    int timerTicks = 0;
};

TEST(ChanelObject, StateEventOnlyOnChangeAndAfterFieldIsSet) {
    ProbeChanel chanel;
    EXPECT_EQ(chanel.GetState(), csDisconnected);
    std::vector<std::pair<ChanelState, ChanelState>> seen;  // argument, field at the call
    chanel.SetOnChanelStateEvent([&](ChanelState s) { seen.push_back({s, chanel.GetState()}); });
    chanel.SetState(csDisconnected);
    chanel.SetState(csConnecting);
    chanel.SetState(csConnecting);
    chanel.SetState(csConnected);
    chanel.Close();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], std::make_pair(csConnecting, csConnecting));
    EXPECT_EQ(seen[1], std::make_pair(csConnected, csConnected));
    EXPECT_EQ(seen[2], std::make_pair(csDisconnected, csDisconnected));

    chanel.SetOnChanelStateEvent(nullptr);
    chanel.SetState(csConnected);
    EXPECT_EQ(chanel.GetState(), csConnected);
    EXPECT_EQ(seen.size(), 3u);
}

TEST(ChanelObject, BaseOperations) {
    ProbeChanel chanel;
    const uint8_t frame[] = {1, 2};
    EXPECT_FALSE(chanel.SendPacket(frame, 2, 1, false));
    EXPECT_EQ(chanel.GetInfo(), -1);
    EXPECT_EQ(chanel.GetChanelKind(), 0);
    EXPECT_EQ(chanel.GetPendingCount(), -1);
    std::vector<std::string> texts;
    chanel.WriteConsole("dropped");
    chanel.SetConsoleFunction([&](const std::string& t) { texts.push_back(t); });
    chanel.WriteConsole("Прибор не отвечает");
    EXPECT_EQ(texts, std::vector<std::string>{"Прибор не отвечает"});
}

TEST(ChanelObject, LampsStayYellowForTwoTicksAfterLatestActivity) {
    ProbeChanel chanel;
    Lamp rx, tx;
    chanel.SetRxControl(&rx);
    chanel.SetTxControl(&tx);
    chanel.ShowActivity(true, false);
    chanel.ShowActivity(true, false);
    EXPECT_EQ(rx.colors, (std::vector<uint32_t>{clYellow, clYellow}));
    chanel.TimerTick();
    chanel.ShowActivity(true, false);  // restarts the count
    chanel.TimerTick();
    EXPECT_EQ(rx.colors.back(), clYellow);
    chanel.TimerTick();
    EXPECT_EQ(rx.colors.back(), clGreen);
    chanel.TimerTick();
    EXPECT_EQ(rx.colors.size(), 4u);  // yellow x3, then green once
    EXPECT_TRUE(tx.colors.empty());
    EXPECT_EQ(chanel.timerTicks, 4);
}

TEST(ChanelObject, WithoutLampsActivityChangesNothing) {
    ProbeChanel chanel;
    chanel.ShowActivity(true, true);
    chanel.TimerTick();
    chanel.TimerTick();
    Lamp late;
    chanel.SetRxControl(&late);
    chanel.TimerTick();
    EXPECT_TRUE(late.colors.empty());
}

TEST(ChanelObject, TimerRunsOnTheEventLoop) {
    ProbeChanel chanel;
    Lamp rx;
    chanel.SetRxControl(&rx);
    chanel.ShowActivity(true, false);
    QElapsedTimer clock;
    clock.start();
    while (chanel.timerTicks < 3 && clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    EXPECT_GE(chanel.timerTicks, 3);
    EXPECT_EQ(rx.colors.back(), clGreen);
}

TEST(ChanelObject, DeletingOpenChanelCallsNobody) {
    int events = 0;
    Lamp rx;
    auto* chanel = new ProbeChanel;
    chanel->SetState(csConnected);
    chanel->SetOnChanelStateEvent([&](ChanelState) { ++events; });
    chanel->SetConsoleFunction([&](const std::string&) { ++events; });
    chanel->SetRxControl(&rx);
    chanel->ShowActivity(true, false);
    rx.colors.clear();
    delete static_cast<TChanelObject*>(chanel);
    EXPECT_EQ(events, 0);
    EXPECT_TRUE(rx.colors.empty());
}

}  // namespace

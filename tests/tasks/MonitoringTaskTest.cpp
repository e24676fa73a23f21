// The monitoring task: one identification, then parameter cycles with a
// pause of MonitoringInterval seconds.
#include "AnswerFrames.h"
#include "TaskHarness.h"
#include "ZQMonitoringTask.h"

#include <gtest/gtest.h>

namespace {

class MonitoringTest : public testing::Test {
protected:
    void SetUp() override { ResetSettingsStore(); }

    // Answers the current and setup parameters of one cycle; the task is then
    // in its pause.
    void AnswerCycle(TaskHarness<ZQMonitoringTask>& h, uint32_t serial) {
        CurrentParamsStruct current;
        current.Serial = serial;
        h.TickAndAnswer(answers::CurrentParams(current));
        ASSERT_EQ(h.task->GetStep(), 4);
        h.TickAndAnswer(answers::SetupParams({}));
        ASSERT_EQ(h.task->GetStep(), ZQMonitoringTask::kWaitStep);
    }

    ZQValve valve;
};

TEST_F(MonitoringTest, CyclesEverySixtyTicksWithIdentificationOnce) {
    TaskHarness<ZQMonitoringTask> h(&valve);
    h.Connect();
    h.TickAndAnswer(answers::Ident());
    AnswerCycle(h, 1);
    EXPECT_EQ(valve.Current.Serial, 1u);
    EXPECT_EQ(h.task->GetCycleCount(), 0);
    h.Tick();  // enters the pause
    EXPECT_EQ(h.task->GetStatusText(), "Ожидание ...");
    EXPECT_EQ(h.task->GetCycleCount(), 1);
    const size_t sent = h.SentCount();
    h.Tick(59);
    EXPECT_EQ(h.SentCount(), sent);
    h.Tick();  // the 60th tick ends the pause and sends at once
    ASSERT_EQ(h.SentCount(), sent + 1);
    EXPECT_EQ(h.LastSent().bytes[1], 4);
    EXPECT_EQ(h.LastSent().packetId, 3);
    h.Answer(answers::CurrentParams({.Serial = 2}));
    h.TickAndAnswer(answers::SetupParams({}));
    EXPECT_EQ(valve.Current.Serial, 2u);
    h.Tick(3);
    EXPECT_EQ(h.task->GetCycleCount(), 2) << "one count per pause, however long";
    for (const auto& p : h.Chanel().sent) {
        if (&p != &h.Chanel().sent.front()) {
            EXPECT_NE(p.bytes[1], 0x11) << "identification is read once";
        }
    }
}

// The pause is kept in the connection dialog's range 2..1000 s: a stored 0
// or less still ends, a stored INT_MAX does not overflow.
TEST_F(MonitoringTest, PauseIsKeptInTheDialogRange) {
    const struct {
        const char* name;
        int stored;
        int ticks;
    } rows[] = {{"Zero", 0, 20},
                {"Negative", -5, 20},
                {"One", 1, 20},
                {"Lowest", 2, 20},
                {"Highest", 1000, 10000},
                {"AboveHighest", 1001, 10000},
                {"IntMax", 2147483647, 10000}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ResetSettingsStore();
        StoreInteger(kChanelSetupKey, "MonitoringInterval", row.stored);
        ZQValve v;
        TaskHarness<ZQMonitoringTask> h(&v);
        h.Connect();
        h.TickAndAnswer(answers::Ident());
        AnswerCycle(h, 1);
        h.Tick();  // enters the pause
        const size_t sent = h.SentCount();
        h.Tick(row.ticks - 1);
        EXPECT_EQ(h.SentCount(), sent);
        h.Tick();
        EXPECT_EQ(h.SentCount(), sent + 1);
        EXPECT_EQ(h.task->GetStep(), 3);
    }
}

TEST_F(MonitoringTest, LostCurrentParamsRetriedThreeTimes) {
    TaskHarness<ZQMonitoringTask> h(&valve);
    h.Connect();
    h.TickAndAnswer(answers::Ident());
    for (int i = 0; i < 4; ++i) {
        h.Tick();
        h.Chanel().InjectLost(3);
    }
    EXPECT_EQ(h.SentCount(), 5u);
    EXPECT_EQ(h.task->GetState(), tsError);
    EXPECT_EQ(h.task->GetStatusText(), "Нет ответа от прибора");
}

// The owner refreshes its pages when the task enters the pause: the values
// of both blocks are in the valve by then, and not before step 4 answered.
TEST_F(MonitoringTest, ValuesCompleteWhenPauseIsEntered) {
    TaskHarness<ZQMonitoringTask> h(&valve);
    h.Connect();
    h.TickAndAnswer(answers::Ident());
    h.TickAndAnswer(answers::CurrentParams({.Serial = 9}));
    EXPECT_NE(h.task->GetStep(), ZQMonitoringTask::kWaitStep);
    SetupParamsStruct setup;
    setup.NetAddress = 33;
    h.TickAndAnswer(answers::SetupParams(setup));
    EXPECT_EQ(h.task->GetStep(), ZQMonitoringTask::kWaitStep);
    EXPECT_EQ(valve.Current.Serial, 9u);
    EXPECT_EQ(valve.Setup.NetAddress, 33);
}

TEST_F(MonitoringTest, DisconnectDuringPauseIsNormalEnd) {
    TaskHarness<ZQMonitoringTask> h(&valve);
    h.Connect();
    h.TickAndAnswer(answers::Ident());
    AnswerCycle(h, 1);
    h.Tick();
    h.Chanel().InjectState(csDisconnected);
    EXPECT_EQ(h.task->GetState(), tsDone);
    EXPECT_EQ(h.task->GetStatusText(), "Ожидание ...");
}

TEST_F(MonitoringTest, DisconnectInCycleIsBrokenConnection) {
    TaskHarness<ZQMonitoringTask> h(&valve);
    h.Connect();
    h.TickAndAnswer(answers::Ident());
    h.Tick();
    h.Chanel().InjectState(csDisconnected);
    EXPECT_EQ(h.task->GetState(), tsError);
    EXPECT_EQ(h.task->GetStatusText(), "Соединение разорвано");
}

}  // namespace

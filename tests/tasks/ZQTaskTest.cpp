// The step engine: retries, time-outs, answer checks, channel states, stop,
// progress. Driven through a small three-step task over the fake channel.
#include "AnswerFrames.h"
#include "ModbusFrames.h"
#include "TaskHarness.h"
#include "ZQMonitoringTask.h"
#include "ZQTask.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <functional>

namespace {

ZQ_PRINT_CASES_BY_NAME

using answers::Bytes;

// 0 start, 1 channel, 2 one request, 3 close with a final text.
class ProbeTask : public ZQTask {
public:
    using ZQTask::ZQTask;
    int GetStepCount() override { return 3; }
    int ExecuteStep(int s) override {
        switch (s) {
            case 1:
                return StepCreateChanel();
            case 2:
                return StepReadRegisters("Запрос", 40001, 16);
            case 3:
                CloseChanel();
                statusText = "Готово";
                return srWaitEvent;
            default:
                return srNext;
        }
    }
    void OnRecvPacket(const uint8_t* data, int length, int packetId) override {
        ++handled;
        if (CheckAnswer(data, static_cast<uint16_t>(length), packetId)) {
            NextStep();
        }
    }
    int handled = 0;
};

const Bytes kGoodAnswer = answers::WithCrc({0, 3, 2, 0x12, 0x34});

class EngineTest : public testing::Test {
protected:
    void SetUp() override { ResetSettingsStore(); }
    TaskHarness<ProbeTask> h;
};

TEST_F(EngineTest, RunsThroughAllStepsToDone) {
    h.Connect();
    EXPECT_EQ(h.task->GetStatusText(), "Соединение установлено");
    h.TickAndAnswer(kGoodAnswer);
    EXPECT_EQ(h.task->GetStep(), 3);
    h.Tick();
    EXPECT_EQ(h.Chanel().closeCalls, 1);
    EXPECT_EQ(h.task->GetStatusText(), "Готово");
    h.Chanel().InjectState(csConnected);  // same state: no event
    h.Chanel().InjectState(csDisconnected);
    EXPECT_EQ(h.task->GetState(), tsDone);
    EXPECT_EQ(h.task->GetStatusText(), "Готово");
    EXPECT_EQ(h.task->GetPercent(), 100);
    EXPECT_EQ(h.task->GetStep(), 0);
}

TEST_F(EngineTest, RequestCarriesStepAsPacketIdAndStoredAddress) {
    StoreInteger(kChanelSetupKey, "NetAddress", 0x1F7);
    h.Connect();
    h.Tick();
    ASSERT_EQ(h.SentCount(), 1u);
    EXPECT_EQ(h.LastSent().packetId, 2);
    EXPECT_FALSE(h.LastSent().quiet);
    EXPECT_EQ(h.LastSent().bytes[0], 0xF7);  // low byte of the address
    EXPECT_EQ(h.LastSent().bytes[1], 3);
}

// What the task queued for itself runs, as the event loop runs it once the
// event being handled is done.
void RunQueued() {
    QCoreApplication::sendPostedEvents();
}

// A device that answers at once, whatever the phase of the owner's 100 ms
// timer its answer meets: the next request goes out as soon as the answer
// has been handled (the event loop's next turn, no tick in between), and
// once only, even when a tick comes first; a cancel before that turn sends
// nothing. Rows: the ticks between a request and its answer (-1: up to the
// last one before the answer time-out), and what comes between the answer
// and the event loop's turn.
enum class Between { Nothing, Tick, Cancel };

struct PhaseCase {
    const char* name;
    int ticksBeforeAnswer;
    Between between;
};

class NextRequestAtOnce : public testing::TestWithParam<PhaseCase> {
protected:
    void SetUp() override { ResetSettingsStore(); }
};

TEST_P(NextRequestAtOnce, WhateverThePhaseOfTheTimer) {
    const PhaseCase& c = GetParam();
    ZQValve valve;
    TaskHarness<ZQMonitoringTask> h(&valve);
    h.Connect();
    RunQueued();
    ASSERT_EQ(h.SentCount(), 1u) << "the identification, on the connection's event";
    const int ticks =
        c.ticksBeforeAnswer >= 0 ? c.ticksBeforeAnswer : h.task->GetAnswerTimeout(2) - 1;
    const Bytes answered[] = {answers::Ident(), answers::CurrentParams({}),
                              answers::SetupParams({})};
    for (size_t i = 0; i < 3; ++i) {
        h.Tick(ticks);
        ASSERT_EQ(h.SentCount(), i + 1) << "nothing more before the answer";
        h.Answer(answered[i]);
        if (c.between == Between::Tick) {
            h.Tick();
        } else if (c.between == Between::Cancel) {
            h.task->Stop();
        }
        RunQueued();
        if (c.between == Between::Cancel) {
            EXPECT_EQ(h.SentCount(), 1u);
            EXPECT_EQ(h.task->GetState(), tsStopped);
            return;
        }
        if (i < 2) {
            ASSERT_EQ(h.SentCount(), i + 2);
            EXPECT_EQ(h.LastSent().packetId, static_cast<int>(i) + 3);
        }
    }
    // The pause between two cycles is still counted in ticks.
    EXPECT_EQ(h.task->GetStep(), ZQMonitoringTask::kWaitStep);
    h.Tick();
    RunQueued();
    EXPECT_EQ(h.SentCount(), 3u);
    EXPECT_EQ(h.task->GetStatusText(), "Ожидание ...");
}

INSTANTIATE_TEST_SUITE_P(
    Phases, NextRequestAtOnce,
    testing::Values(PhaseCase{"AnswerBeforeAnyTick", 0, Between::Nothing},
                    PhaseCase{"AnswerAfterOneTick", 1, Between::Nothing},
                    PhaseCase{"AnswerOnTheLastTickBeforeTheTimeOut", -1, Between::Nothing},
                    PhaseCase{"TickBeforeTheLoopTurns", 0, Between::Tick},
                    PhaseCase{"TickBeforeTheLoopTurnsLate", -1, Between::Tick},
                    PhaseCase{"CancelBeforeTheLoopTurns", 1, Between::Cancel}),
    [](const testing::TestParamInfo<PhaseCase>& info) { return std::string(info.param.name); });

// Each failure kind is retried three times: four sends of the same request,
// then the task ends with the text of the last failure.
struct FailureCase {
    const char* name;
    void (*fail)(TaskHarness<ProbeTask>&);
    const char* text;
};

class EngineRetry : public testing::TestWithParam<FailureCase> {
protected:
    void SetUp() override { ResetSettingsStore(); }
};

TEST_P(EngineRetry, FourSendsThenLastFailureText) {
    TaskHarness<ProbeTask> h;
    h.Connect();
    for (int attempt = 1; attempt <= 4; ++attempt) {
        h.Tick();
        ASSERT_EQ(h.SentCount(), static_cast<size_t>(attempt));
        EXPECT_EQ(h.LastSent().bytes, h.Chanel().sent.front().bytes);
        EXPECT_EQ(h.task->GetState(), tsRunning);
        GetParam().fail(h);
    }
    EXPECT_EQ(h.task->GetState(), tsError);
    EXPECT_EQ(h.task->GetStatusText(), GetParam().text);
    EXPECT_EQ(h.task->GetPercent(), 0);
    h.Tick(50);
    EXPECT_EQ(h.SentCount(), 4u);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, EngineRetry,
    testing::Values(FailureCase{"LostPacket",
                                [](TaskHarness<ProbeTask>& h) { h.Chanel().InjectLost(2); },
                                "Нет ответа от прибора"},
                    FailureCase{"TimeOut", [](TaskHarness<ProbeTask>& h) { h.Tick(13); },
                                "Истекли попытки повтора"},
                    FailureCase{"BadCrc",
                                [](TaskHarness<ProbeTask>& h) {
                                    Bytes bad = kGoodAnswer;
                                    bad.back() ^= 1;
                                    h.Answer(bad);
                                },
                                "Ошибка CRC в ответе от прибора"},
                    FailureCase{"TooShort",
                                [](TaskHarness<ProbeTask>& h) {
                                    h.Answer({0, 3, 0xFF});
                                },
                                "Ошибка CRC в ответе от прибора"},
                    FailureCase{"ExceptionWithoutCode",
                                [](TaskHarness<ProbeTask>& h) {
                                    h.Answer(answers::WithCrc({0, 0x83}));
                                },
                                "Ошибка CRC в ответе от прибора"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// An answer must answer the request: the request's function (or its
// exception form), from the address asked unless the request went to
// address 0. Any other frame is retried, and named for what it is.
struct MatchCase {
    const char* name;
    int storedAddress;  // NetAddress of the connection settings
    Bytes answer;
    bool accepted;
};

class EngineMatch : public testing::TestWithParam<MatchCase> {
protected:
    void SetUp() override { ResetSettingsStore(); }
};

TEST_P(EngineMatch, ForeignAnswerIsRetried) {
    const MatchCase& c = GetParam();
    StoreInteger(kChanelSetupKey, "NetAddress", c.storedAddress);
    TaskHarness<ProbeTask> h;
    h.Connect();
    for (int attempt = 0; attempt < 4 && h.task->GetState() == tsRunning; ++attempt) {
        h.TickAndAnswer(c.answer);
        if (c.accepted) {
            break;
        }
    }
    if (c.accepted) {
        EXPECT_EQ(h.task->GetStep(), 3);
        EXPECT_EQ(h.SentCount(), 1u);
    } else {
        EXPECT_EQ(h.task->GetState(), tsError);
        EXPECT_EQ(h.task->GetStatusText(), "Ответ прибора не соответствует запросу");
        EXPECT_EQ(h.SentCount(), 4u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, EngineMatch,
    testing::Values(MatchCase{"SameAddress", 5, answers::WithCrc({5, 3, 2, 0x12, 0x34}), true},
                    MatchCase{"OtherAddress", 5, answers::WithCrc({6, 3, 2, 0x12, 0x34}), false},
                    MatchCase{"AddressZeroToAddressFive", 5, kGoodAnswer, false},
                    MatchCase{"AnyAddressToAddressZero", 0, answers::WithCrc({7, 3, 2, 0, 1}),
                              true},
                    MatchCase{"OtherFunction", 0, answers::WithCrc({0, 4, 2, 0x12, 0x34}), false},
                    MatchCase{"ExceptionOfOtherFunction", 0, answers::Exception(4, 2), false}),
    [](const testing::TestParamInfo<MatchCase>& info) { return std::string(info.param.name); });

// The task waits out the channel's own limit on an answer (a COM port's
// read of 1 s, a modem's of 3 s, each with what the transfer takes besides)
// even when its first tick comes at once after the request: 13 and 33 ticks.
TEST_F(EngineTest, TimeOutOutlastsTheChannelsOwnLimit) {
    h.Connect();
    h.Tick();
    h.Tick(12);
    EXPECT_EQ(h.SentCount(), 1u);
    h.Tick();  // the 13th tick times out and queues the retry, which no event
    h.Tick();  // loop runs here: the next tick sends it
    EXPECT_EQ(h.SentCount(), 2u);

    StoreInteger(kChanelSetupKey, "CurrentChanel", 1);
    TaskHarness<ProbeTask> modem;
    modem.Connect();
    modem.Tick();
    modem.Tick(32);
    modem.Tick();
    EXPECT_EQ(modem.SentCount(), 1u);
    modem.Tick();
    modem.Tick();
    EXPECT_EQ(modem.SentCount(), 2u);
}

TEST_F(EngineTest, LateAnswerAndForeignLostPacketAreIgnored) {
    h.Connect();
    h.Tick();
    const std::string status = h.task->GetStatusText();
    h.task->ClearChanged();
    h.Chanel().InjectAnswer(kGoodAnswer, 1);
    h.Chanel().InjectLost(1);
    EXPECT_EQ(h.task->GetStep(), 2);
    EXPECT_EQ(h.task->GetStatusText(), status);
    EXPECT_FALSE(h.task->IsChanged());
    // No retry was used up: four more failures are still needed.
    for (int i = 0; i < 3; ++i) {
        h.Chanel().InjectLost(2);
        h.Tick();
    }
    EXPECT_EQ(h.task->GetState(), tsRunning);
    h.Answer(kGoodAnswer);
    EXPECT_EQ(h.task->GetStep(), 3);
}

// The task's own time-out sends the request again while the channel still
// works on the first: the first transfer's outcome, whenever it comes, is
// stale; only the second's is the answer.
TEST_F(EngineTest, OutcomeOfARequestSentBeforeTheLatestIsStale) {
    h.Connect();
    h.Chanel().countsQueue = true;
    h.Tick();
    h.Tick(13);  // the task's time-out; the channel has not reported
    h.Tick();
    ASSERT_EQ(h.SentCount(), 2u);
    h.Answer(kGoodAnswer);  // the first transfer's answer
    EXPECT_EQ(h.task->GetStep(), 2);
    EXPECT_EQ(h.task->handled, 0);
    h.Answer(kGoodAnswer);
    EXPECT_EQ(h.task->GetStep(), 3);

    // Its loss likewise uses up no retry of the request sent after it.
    TaskHarness<ProbeTask> lost;
    lost.Connect();
    lost.Chanel().countsQueue = true;
    lost.Tick();
    lost.Tick(14);
    lost.Chanel().InjectLost(2);
    lost.Tick();
    EXPECT_EQ(lost.SentCount(), 2u);
    lost.Answer(kGoodAnswer);
    EXPECT_EQ(lost.task->GetStep(), 3);
}

// What a channel raises (a full queue) ends the exchange with its text and
// never leaves the tick.
TEST_F(EngineTest, ChanelThatRaisesEndsTheTask) {
    h.Connect();
    h.Chanel().sendThrows = true;
    EXPECT_NO_THROW(h.Tick());
    EXPECT_EQ(h.task->GetState(), tsError);
    EXPECT_EQ(h.task->GetStatusText(), "Ошибка канала: Queue overflow");
}

TEST_F(EngineTest, ExceptionAnswerEndsAtOnceWithItsText) {
    h.Connect();
    h.Tick();
    h.Answer(answers::Exception(3, 2));
    EXPECT_EQ(h.task->GetState(), tsError);
    EXPECT_EQ(h.task->GetStatusText(), "Недопустимый(неверный) номер регистра");
    EXPECT_EQ(h.SentCount(), 1u);
}

TEST_F(EngineTest, StopWhileWaitingClosesChanelAndDropsLaterEvents) {
    h.Connect();
    h.Tick();
    h.task->Stop();
    h.task->ClearChanged();
    h.Tick();
    EXPECT_EQ(h.task->GetState(), tsStopped);
    EXPECT_EQ(h.task->GetStep(), 0);
    EXPECT_EQ(h.Chanel().closeCalls, 1);
    EXPECT_FALSE(h.Chanel().HasHandlers());
    // A worker busy for seconds: still the one close, never a queue full
    // of them.
    h.Tick(30);
    EXPECT_EQ(h.Chanel().closeCalls, 1);
    h.Chanel().InjectAnswer(kGoodAnswer, 2);
    h.Chanel().InjectState(csDisconnected);
    EXPECT_EQ(h.task->handled, 0);
    EXPECT_EQ(h.task->GetState(), tsStopped);
    EXPECT_FALSE(h.task->IsChanged());
    h.Tick(5);
    EXPECT_EQ(h.Chanel().closeCalls, 1);  // disconnected now: nothing more to close
}

// What the channel raises after the stop but before the next tick unbinds
// its events changes nothing the window would show.
TEST_F(EngineTest, StoppedTaskIgnoresEventsBeforeTheNextTick) {
    const struct {
        const char* name;
        std::function<void(FakeChanel&)> raise;
    } events[] = {
        {"answer to the awaited request", [](FakeChanel& c) { c.InjectAnswer(kGoodAnswer, 2); }},
        {"every retry lost",
         [](FakeChanel& c) {
             for (int i = 0; i < 4; ++i) {
                 c.InjectLost(2);
             }
         }},
        {"connection dropped", [](FakeChanel& c) { c.InjectState(csDisconnected); }},
    };
    for (const auto& e : events) {
        SCOPED_TRACE(e.name);
        TaskHarness<ProbeTask> t;
        t.Connect();
        t.Tick();  // the request of step 2 is out; the tick set `changed`
        const std::string status = t.task->GetStatusText();
        const int percent = t.task->GetPercent();
        t.task->Stop();
        EXPECT_FALSE(t.task->IsChanged());
        e.raise(t.Chanel());
        EXPECT_EQ(t.task->handled, 0);
        EXPECT_EQ(t.task->GetState(), tsStopped);
        EXPECT_FALSE(t.task->IsChanged());
        EXPECT_EQ(t.task->GetStatusText(), status);
        EXPECT_EQ(t.task->GetPercent(), percent);
        t.Tick();
        EXPECT_EQ(t.task->GetState(), tsStopped);
        EXPECT_FALSE(t.task->IsChanged());
    }
}

TEST_F(EngineTest, ChanelStatesDuringAndAfterConnect) {
    h.Tick(2);
    h.Chanel().InjectState(csConnecting);
    EXPECT_EQ(h.task->GetStatusText(), "Устанавливается соединение");
    h.Chanel().InjectState(csDisconnected);
    EXPECT_EQ(h.task->GetState(), tsError);
    EXPECT_EQ(h.task->GetStatusText(), "Соединение не установлено");

    TaskHarness<ProbeTask> broken;
    broken.Connect();
    broken.Tick();
    broken.Chanel().InjectState(csDisconnected);
    EXPECT_EQ(broken.task->GetState(), tsError);
    EXPECT_EQ(broken.task->GetStatusText(), "Соединение разорвано");
}

TEST_F(EngineTest, ProgressFollowsSteps) {
    h.Tick();
    EXPECT_EQ(h.task->GetPercent(), 33);
    h.Tick();
    h.Chanel().InjectState(csConnected);
    EXPECT_EQ(h.task->GetPercent(), 66);
    h.TickAndAnswer(kGoodAnswer);
    EXPECT_EQ(h.task->GetPercent(), 100);
}

TEST(EngineCreation, UnknownConnectionTypeFailsChanelCreation) {
    ResetSettingsStore();
    StoreInteger(kChanelSetupKey, "CurrentChanel", 3);
    ProbeTask task(true);
    task.Tick();
    task.Tick();
    EXPECT_EQ(task.GetState(), tsError);
    EXPECT_EQ(task.GetStatusText(), "Ошибка при создании канала");
    EXPECT_EQ(task.GetChanelSetup().CurrentChanel, 3);
}

TEST(EngineCreation, StoppedTaskStartsOnlyWhenStarted) {
    ProbeTask task(false);
    for (int i = 0; i < 3; ++i) {
        task.Tick();
    }
    EXPECT_EQ(task.GetState(), tsStopped);
    EXPECT_EQ(task.GetStep(), 0);
    task.Start();
    EXPECT_EQ(task.GetState(), tsRunning);
    task.Stop();
    task.Stop();
    EXPECT_EQ(task.GetState(), tsStopped);
}

}  // namespace

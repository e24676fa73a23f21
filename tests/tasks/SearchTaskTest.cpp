// "Поиск прибора" over the fake channel: what counts as a device, the next
// address asked at once after each outcome, a ZQ device's serial number, the
// addresses asked whatever the settings hold, the end and the stop.
#include "AnswerFrames.h"
#include "Settings.h"
#include "TaskHarness.h"
#include "ZQSearchTask.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace {

ZQ_PRINT_CASES_BY_NAME

using answers::Bytes;
using answers::WithCrc;

// The events posted by the task's handlers run, as the event loop would run
// them between two ticks.
void RunPosted() {
    QCoreApplication::sendPostedEvents();
}

Bytes ZqIdent(uint8_t address, uint8_t version) {
    return WithCrc({address, 0x11, 8, 'R', 'O', 'R', 'I', 0x5A, 0x51, version, 0});
}

struct OutcomeCase {
    const char* name;
    Bytes answer;  // empty: the channel reports the packet lost
    bool timeOut;  // no event at all: the task's own time-out runs out
    bool found;
    int exceptionCode;
};

class SearchOutcome : public testing::TestWithParam<OutcomeCase> {
protected:
    void SetUp() override { ResetSettingsStore(); }
};

// Address 5 answers (or not) as the row says; address 6 is asked right
// after, without waiting for a tick.
TEST_P(SearchOutcome, FindOrNotThenNextAddressAtOnce) {
    const OutcomeCase& c = GetParam();
    TaskHarness<ZQSearchTask> h(5, 6);
    h.Connect();
    h.Tick();
    ASSERT_EQ(h.SentCount(), 1u);
    EXPECT_EQ(h.LastSent().bytes, WithCrc({5, 0x11}));
    if (c.timeOut) {
        h.Tick(4);  // a COM port's quick time-out: the read's 100 ms and what the transfer takes besides, in ticks, and one of margin
    } else if (c.answer.empty()) {
        h.Chanel().InjectLost(2);
    } else {
        h.Answer(c.answer);
    }
    RunPosted();
    ASSERT_EQ(h.SentCount(), 2u);
    EXPECT_EQ(h.LastSent().bytes, WithCrc({6, 0x11}));
    EXPECT_EQ(h.LastSent().packetId, 3);
    EXPECT_EQ(h.task->GetStatusText(),
              c.found ? "Поиск прибора: адрес 6, найдено: 1" : "Поиск прибора: адрес 6");
    ASSERT_EQ(h.task->Finds().size(), c.found ? 1u : 0u);
    if (c.found) {
        EXPECT_EQ(h.task->Finds()[0].address, 5);
        EXPECT_FALSE(h.task->Finds()[0].zq);
        EXPECT_EQ(h.task->Finds()[0].exceptionCode, c.exceptionCode);
    }
}

Bytes BadCrc() {
    Bytes b = ZqIdent(5, 1);
    b.back() ^= 0x40;
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SearchOutcome,
    testing::Values(OutcomeCase{"OtherModbusDevice", WithCrc({5, 0x11, 3, 'P', 'L', 'C'}), false,
                                true, -1},
                    OutcomeCase{"ExceptionAnswer", WithCrc({5, 0x91, 1}), false, true, 1},
                    OutcomeCase{"OtherAddress", ZqIdent(7, 1), false, false, -1},
                    OutcomeCase{"OtherFunction", WithCrc({5, 0x04, 2, 0, 0}), false, false, -1},
                    OutcomeCase{"BadCrc", BadCrc(), false, false, -1},
                    OutcomeCase{"ShorterThanItsByteCount",
                                WithCrc({5, 0x11, 8, 'R', 'O', 'R', 'I'}), false, false, -1},
                    OutcomeCase{"TooShort", Bytes{5, 0x11, 0}, false, false, -1},
                    OutcomeCase{"Lost", {}, false, false, -1},
                    OutcomeCase{"TimedOut", {}, true, false, -1}),
    [](const testing::TestParamInfo<OutcomeCase>& info) { return std::string(info.param.name); });

class SearchTest : public testing::Test {
protected:
    void SetUp() override { ResetSettingsStore(); }
};

TEST_F(SearchTest, WholeRangeWithAZqDeviceAndItsSerialNumber) {
    StoreInteger(kChanelSetupKey, "NetAddress", 9);  // the stored address is not asked
    TaskHarness<ZQSearchTask> h(5, 3);               // ends given the wrong way round
    EXPECT_EQ(h.task->GetTaskType(), kTaskSearch);
    h.Connect();
    h.Tick();
    h.Chanel().InjectLost(2);
    RunPosted();
    EXPECT_EQ(h.task->GetPercent(), 3 * 100 / 5);
    h.Answer(ZqIdent(4, 1));
    RunPosted();
    // The same address is asked for its serial number, under the same packet id.
    ASSERT_EQ(h.SentCount(), 3u);
    EXPECT_EQ(h.LastSent().bytes, WithCrc({4, 4, 0, 32, 0, 2}));
    EXPECT_EQ(h.LastSent().packetId, 3);
    h.Answer(WithCrc({4, 4, 4, 0x07, 0x5B, 0xCD, 0x15}));
    RunPosted();
    h.Tick(4);  // address 5 is silent
    RunPosted();
    EXPECT_EQ(h.Chanel().closeCalls, 1);
    h.Chanel().InjectState(csDisconnected);
    EXPECT_EQ(h.task->GetState(), tsDone);
    EXPECT_EQ(h.task->GetStatusText(), "Поиск завершён, найдено приборов: 1");

    std::vector<int> asked;
    for (const FakeChanel::Packet& p : h.Chanel().sent) {
        EXPECT_TRUE(p.bytes[1] == 0x11 || p.bytes[1] == 4) << "nothing but reads";
        if (p.bytes[1] == 0x11) {
            asked.push_back(p.bytes[0]);
        }
    }
    EXPECT_EQ(asked, (std::vector<int>{3, 4, 5}));
    ASSERT_EQ(h.task->Finds().size(), 1u);
    const DeviceFind& find = h.task->Finds()[0];
    EXPECT_EQ(find.address, 4);
    EXPECT_TRUE(find.zq);
    EXPECT_EQ(find.Version(), 1);
    EXPECT_TRUE(find.serialKnown);
    EXPECT_EQ(find.serial, 123456789u);
}

TEST_F(SearchTest, ZqDeviceWithoutSerialNumberIsStillFound) {
    TaskHarness<ZQSearchTask> h(4, 4);
    h.Connect();
    h.Tick();
    h.Answer(ZqIdent(4, 2));
    RunPosted();
    h.Answer(WithCrc({4, 0x84, 2}));
    RunPosted();
    ASSERT_EQ(h.task->Finds().size(), 1u);
    EXPECT_TRUE(h.task->Finds()[0].zq);
    EXPECT_EQ(h.task->Finds()[0].Version(), 2);
    EXPECT_FALSE(h.task->Finds()[0].serialKnown);
    EXPECT_EQ(h.Chanel().closeCalls, 1);
}

TEST_F(SearchTest, StopBetweenAddressesAsksNoMore) {
    TaskHarness<ZQSearchTask> h;
    EXPECT_EQ(h.task->GetStepCount(), 247 + 2);
    h.Connect();
    h.Tick();
    h.Chanel().InjectLost(2);
    h.task->Stop();
    RunPosted();
    h.Tick();
    EXPECT_EQ(h.SentCount(), 1u);
    EXPECT_EQ(h.Chanel().closeCalls, 1);
    EXPECT_EQ(h.task->GetState(), tsStopped);
}

}  // namespace

// The three write tasks: the frames they write and their final texts.
#include "AnswerFrames.h"
#include "TaskHarness.h"
#include "ZQClearArchiveTask.h"
#include "ZQWriteAllParamsTask.h"
#include "ZQWriteCurrentTimeTask.h"

#include <gtest/gtest.h>

namespace {

using answers::Bytes;

class WriteTasksTest : public testing::Test {
protected:
    void SetUp() override { ResetSettingsStore(); }

    // Connects, answers the identification and returns the write frame.
    template <class Task>
    Bytes WriteFrame(TaskHarness<Task>& h) {
        h.Connect();
        h.TickAndAnswer(answers::Ident());
        h.Tick();
        return h.LastSent().bytes;
    }

    template <class Task>
    void FinishWith(TaskHarness<Task>& h, const char* text) {
        const Bytes& frame = h.LastSent().bytes;
        h.Answer(answers::WithCrc({0, 16, frame[2], frame[3], frame[4], frame[5]}));
        h.Tick();
        EXPECT_EQ(h.Chanel().closeCalls, 1);
        h.Chanel().InjectState(csDisconnected);
        EXPECT_EQ(h.task->GetState(), tsDone);
        EXPECT_EQ(h.task->GetStatusText(), text);
    }
};

SetupParamsStruct PageValues() {
    SetupParamsStruct p;
    p.NetAddress = 17;
    p.CalibrationCode = 0x1234;
    p.TestCode = 0x0ABC;
    p.TestMode = 1;
    p.ClearArchive = 1;
    return p;
}

TEST_F(WriteTasksTest, SetupWriteWithoutCalibrationIsAddressAlone) {
    TaskHarness<ZQWriteAllParamsTask> h;
    h.task->SetSetupParams(PageValues());
    const Bytes frame = WriteFrame(h);
    EXPECT_EQ(h.task->GetStatusText(), "Запись настроечных параметров");
    ASSERT_EQ(frame.size(), 11u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 9), (Bytes{0, 16, 0, 7, 0, 1, 2, 0, 17}));
    FinishWith(h, "Запись параметров выполнена");
}

TEST_F(WriteTasksTest, SetupWriteWithCalibrationCarriesFourRegisters) {
    StoreInteger(kProgramKey, "EnableCalibration", 1);
    TaskHarness<ZQWriteAllParamsTask> h;
    h.task->SetSetupParams(PageValues());
    const Bytes frame = WriteFrame(h);
    ASSERT_EQ(frame.size(), 17u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 15),
              (Bytes{0, 16, 0, 7, 0, 4, 8, 0, 17, 0x12, 0x34, 0x0A, 0xBC, 0, 1}));
}

TEST_F(WriteTasksTest, ClockWriteAtEndOfYear) {
    TDateTime date = 0, time = 0;
    ASSERT_TRUE(TryEncodeDate(2031, 12, 31, date));
    ASSERT_TRUE(TryEncodeTime(23, 59, 58, 0, time));
    TaskHarness<ZQWriteCurrentTimeTask> h([=] { return date + time; });
    const Bytes frame = WriteFrame(h);
    EXPECT_EQ(h.task->GetStatusText(), "Установка текущего времени");
    ASSERT_EQ(frame.size(), 21u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 19),
              (Bytes{0, 16, 0, 0, 0, 6, 12, 0, 31, 0, 12, 0, 31, 0, 23, 0, 59, 0, 58}));
    FinishWith(h, "Установка текущего времени выполнена");
}

TEST_F(WriteTasksTest, ClearArchiveWritesOneToItsRegister) {
    TaskHarness<ZQClearArchiveTask> h;
    const Bytes frame = WriteFrame(h);
    EXPECT_EQ(h.task->GetStatusText(), "Сброс архива");
    ASSERT_EQ(frame.size(), 11u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 9), (Bytes{0, 16, 0, 6, 0, 1, 2, 0, 1}));
    FinishWith(h, "Сброс архива будет выполнен");
}

// A device of an unknown version is never written to.
TEST_F(WriteTasksTest, VersionTwoStopsEveryWriteBeforeWriting) {
    TaskHarness<ZQWriteAllParamsTask> setup;
    TaskHarness<ZQWriteCurrentTimeTask> clock;
    TaskHarness<ZQClearArchiveTask> clear;
    auto check = [](auto& h) {
        h.Connect();
        h.TickAndAnswer(answers::Ident(2));
        h.Tick(5);
        EXPECT_EQ(h.task->GetState(), tsError);
        EXPECT_EQ(h.task->GetStatusText(), "Неизвестная версия прибора");
        EXPECT_EQ(h.SentCount(), 1u);
    };
    check(setup);
    check(clock);
    check(clear);
}

// The write is confirmed only by its echo: address, function 16, start
// address and count as written. Another function is retried, and named for
// what it is; an echo of another block ends the task at once.
TEST_F(WriteTasksTest, OnlyTheEchoOfTheWriteConfirmsIt) {
    const char* const kOther = "Ответ прибора не соответствует запросу";
    const char* const kBadCount = "Неверное количество данных в ответе от прибора";
    const struct {
        const char* name;
        Bytes (*answer)(const Bytes& request);
        const char* text;  // nullptr: the write is confirmed
        size_t sends;
    } rows[] = {
        {"Echo",
         [](const Bytes& q) {
             return answers::WithCrc({q[0], 16, q[2], q[3], q[4], q[5]});
         },
         nullptr, 1},
        {"Identification", [](const Bytes&) { return answers::Ident(); }, kOther, 4},
        {"OtherStart",
         [](const Bytes& q) {
             return answers::WithCrc({q[0], 16, q[2], static_cast<uint8_t>(q[3] + 1), q[4], q[5]});
         },
         kBadCount, 1},
        {"OtherCount",
         [](const Bytes& q) {
             return answers::WithCrc({q[0], 16, q[2], q[3], q[4], static_cast<uint8_t>(q[5] + 1)});
         },
         kBadCount, 1},
        {"WholeRequestBack", [](const Bytes& q) { return q; }, kBadCount, 1},
        {"CutShort",
         [](const Bytes& q) {
             return answers::WithCrc({q[0], 16, q[2], q[3]});
         },
         kBadCount, 1},
    };
    auto check = [&](auto& h, const char* done, const auto& row) {
        const Bytes request = WriteFrame(h);
        h.Answer(row.answer(request));
        for (size_t sent = 1; sent < row.sends && h.task->GetState() == tsRunning; ++sent) {
            h.TickAndAnswer(row.answer(request));
        }
        EXPECT_EQ(h.SentCount(), 1 + row.sends);  // the identification, then the writes
        if (row.text == nullptr) {
            h.Tick();
            h.Chanel().InjectState(csDisconnected);
            EXPECT_EQ(h.task->GetState(), tsDone);
            EXPECT_EQ(h.task->GetStatusText(), done);
        } else {
            EXPECT_EQ(h.task->GetState(), tsError);
            EXPECT_EQ(h.task->GetStatusText(), row.text);
        }
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TaskHarness<ZQWriteAllParamsTask> setup;
        setup.task->SetSetupParams(PageValues());
        check(setup, "Запись параметров выполнена", row);
        TaskHarness<ZQWriteCurrentTimeTask> clock;
        check(clock, "Установка текущего времени выполнена", row);
        TaskHarness<ZQClearArchiveTask> clear;
        check(clear, "Сброс архива будет выполнен", row);
    }
}

TEST_F(WriteTasksTest, RejectedWriteEndsWithExceptionText) {
    TaskHarness<ZQClearArchiveTask> h;
    WriteFrame(h);
    h.Answer(answers::Exception(16, 7));
    EXPECT_EQ(h.task->GetState(), tsError);
    EXPECT_EQ(h.task->GetStatusText(), "Доступ к регистру закрыт");
}

}  // namespace

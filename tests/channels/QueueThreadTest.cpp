// The ten-slot command queue: the push rules, the outcome register with its
// mask and pattern, the stop, and the completion notices on the GUI thread.
#include "ChanelNotice.h"
#include "PtyDevice.h"
#include "QueueThread.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <QObject>

#include <mutex>
#include <vector>

namespace {

ZQ_PRINT_CASES_BY_NAME

struct Params {
    int value = 0;
};

// Commands of the test queue.
constexpr int kSucceed = 1;
constexpr int kFail = 2;      // raises the general error
constexpr int kFailBare = 3;  // raises a bare text

class TestQueue : public QueueThread<Params> {
public:
    ~TestQueue() override { Stop(); }

    int Execute(int command, Params* data) override {
        {
            std::lock_guard lock(mutex);
            executed.push_back(data->value);
        }
        if (command == kFail) {
            throw Exception("Прибор не отвечает");
        }
        if (command == kFailBare) {
            throw "bare text";
        }
        return 0;
    }

    void Queue(int command, uint32_t flags, int value) {
        Items[Tail].Data.value = value;
        Push(command, flags);
    }

    std::vector<int> Executed() {
        std::lock_guard lock(mutex);
        return executed;
    }

private:
    std::mutex mutex;
    std::vector<int> executed;
};

// Acknowledges each completion as the channel's handler would, and records it.
class Receiver : public QObject {
public:
    explicit Receiver(TestQueue& queue) : queue(queue) {}
    bool event(QEvent* e) override {
        const ChanelNotice* notice = ChanelNotice::From(e);
        if (notice == nullptr) {
            return QObject::event(e);
        }
        if (notice->Message == kCompletionNotice) {
            const auto& slot = queue.Items[queue.Head];
            done.push_back({slot.Data.value, slot.Command, notice->WParam, slot.Message});
            queue.Head = (queue.Head + 1) % TestQueue::kSlotCount;
        }
        return true;
    }
    struct Done {
        int value;
        int command;
        intptr_t succeeded;
        std::string message;
        bool operator==(const Done&) const = default;
    };
    TestQueue& queue;
    std::vector<Done> done;
};

TEST(QueueThread, NineAcceptedTheTenthOverflowsAndTailStays) {
    TestQueue queue;
    Receiver receiver(queue);
    queue.NotifyWindow = &receiver;
    for (int i = 0; i < 9; ++i) {
        queue.Queue(kSucceed, qfAlways, i);
    }
    EXPECT_EQ(queue.PendingCount(), 9);
    EXPECT_EQ(queue.Tail, 9);
    try {
        queue.Queue(kSucceed, qfAlways, 9);
        ADD_FAILURE() << "the tenth command was accepted";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Queue overflow");
    }
    EXPECT_EQ(queue.Tail, 9);

    // Started late, the worker carries out the nine in order; the ring wraps.
    queue.Resume();
    ASSERT_TRUE(WaitFor([&] { return receiver.done.size() == 9; }));
    EXPECT_EQ(queue.Executed(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    for (int i = 0; i < 3; ++i) {
        queue.Queue(kSucceed, qfAlways, 10 + i);
    }
    ASSERT_TRUE(WaitFor([&] { return receiver.done.size() == 12; }));
    EXPECT_EQ(receiver.done.back().value, 12);
    EXPECT_EQ(queue.Tail, 2);
    EXPECT_EQ(queue.PendingCount(), 0);
}

struct PushCase {
    const char* name;
    uint32_t pendingFlags;  // flags of the one command already pending
    uint32_t flags;         // flags of the command pushed
    const char* error;      // text raised, or nullptr
    bool queued;
};

class PushRules : public testing::TestWithParam<PushCase> {};

TEST_P(PushRules, DecideByTheFlagsOfThePending) {
    const PushCase& c = GetParam();
    TestQueue queue;  // not started: the pending command stays pending
    queue.Queue(kSucceed, c.pendingFlags, 1);
    std::string error;
    try {
        queue.Queue(kSucceed, c.flags, 2);
    } catch (const Exception& e) {
        error = e.what();
    }
    EXPECT_EQ(error, c.error != nullptr ? c.error : "");
    EXPECT_EQ(queue.PendingCount(), c.queued ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    QueueThread, PushRules,
    testing::Values(PushCase{"AlwaysJoins", 0, qfAlways, nullptr, true},
                    PushCase{"PlainJoinsOnlyExclusive", qfExclusive, 0, nullptr, true},
                    PushCase{"PlainRefusedBehindShared", qfAlways, 0, "Queue is not empty", false},
                    PushCase{"ExclusiveWantsAnEmptyQueue", qfExclusive, qfExclusive,
                             "Queue is not empty", false},
                    PushCase{"DropIfBusyIsSilent", qfAlways, qfDropIfBusy, nullptr, false},
                    PushCase{"DropIfBusyJoinsExclusive", qfExclusive, qfDropIfBusy, nullptr, true}),
    [](const testing::TestParamInfo<PushCase>& info) { return std::string(info.param.name); });

TEST(QueueThread, EmptyQueueTakesAnyFlags) {
    for (uint32_t flags : {0u, qfExclusive, qfDropIfBusy}) {
        TestQueue queue;
        queue.Queue(kSucceed, flags, 1);
        EXPECT_EQ(queue.PendingCount(), 1) << flags;
    }
}

TEST(QueueThread, MaskAndPatternSkipAfterAFailure) {
    TestQueue queue;
    Receiver receiver(queue);
    queue.NotifyWindow = &receiver;
    queue.Resume();
    const uint32_t onlyAfterSuccess = QueueCondition(1, 1);
    const uint32_t onlyAfterFailure = QueueCondition(1, 0);
    queue.Queue(kFail, qfAlways, 1);
    queue.Queue(kSucceed, qfAlways | onlyAfterSuccess, 2);   // skipped
    queue.Queue(kSucceed, qfAlways | onlyAfterFailure, 3);   // runs: the skip counts as 0
    queue.Queue(kFailBare, qfAlways | onlyAfterFailure, 4);  // skipped: 3 succeeded
    queue.Queue(kFailBare, qfAlways, 5);
    ASSERT_TRUE(WaitFor([&] { return receiver.done.size() == 5; }));
    queue.Stop();
    EXPECT_EQ(queue.Executed(), (std::vector<int>{1, 3, 5}));
    const std::vector<Receiver::Done> expected = {
        {1, kFail, 0, "Прибор не отвечает"}, {2, -1, 1, ""}, {3, kSucceed, 1, ""}, {4, -1, 1, ""},
        {5, kFailBare, 0, "bare text"},
    };
    EXPECT_EQ(receiver.done, expected);
    EXPECT_EQ(queue.History & 0x1F, 0b00100u);  // fail, skip, success, skip, fail
}

TEST(QueueThread, StopCarriesOutWhatIsQueuedThenEnds) {
    TestQueue queue;
    Receiver receiver(queue);
    queue.NotifyWindow = &receiver;
    queue.Resume();
    const int before = ThreadCount();
    queue.Queue(kSucceed, qfAlways, 1);
    queue.Queue(kFail, qfAlways, 2);
    queue.Stop();
    EXPECT_FALSE(queue.Running());
    EXPECT_EQ(queue.Executed(), (std::vector<int>{1, 2}));
    EXPECT_EQ(queue.WorkerIndex, 2);
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() == before - 1; }));
    // Both completions were posted before the worker ended.
    PumpEvents(std::chrono::milliseconds(50));
    ASSERT_EQ(receiver.done.size(), 2u);
    EXPECT_EQ(receiver.done[0].succeeded, 1);
    EXPECT_EQ(receiver.done[1].succeeded, 0);
}

}  // namespace

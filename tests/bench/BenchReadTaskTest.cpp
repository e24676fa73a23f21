// The watched read task against the simulated device: what it records of a
// whole read must fit the device's own log, or the figures built on it lie.
#include "BenchReadTask.h"
#include "ReadFloor.h"
#include "Settings.h"
#include "SimProcess.h"
#include "SimRecords.h"
#include "TaskRunner.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

struct WatchedRead {
    int status = -1;
    int state = -1;
    ReadTrace trace;
    std::vector<Exchange> exchanges;
    size_t hourRecords = 0;
};

// Reads a device started with `simArgs` (no line pacing, so it is quick).
WatchedRead ReadDevice(const std::vector<std::string>& simArgs) {
    WatchedRead result;
    QTemporaryDir folder;
    EXPECT_TRUE(folder.isValid());
    const std::string log = folder.path().toStdString() + "/sim.log";
    std::vector<std::string> args = {"--pty", "--baud", "0", "--latency", "0", "--log-file", log};
    args.insert(args.end(), simArgs.begin(), simArgs.end());
    SimProcess sim;
    std::string error;
    if (!sim.Start(ZQSIM_PATH, args, error)) {
        ADD_FAILURE() << error;
        return result;
    }
    ChanelSetupOverlay overlay;
    overlay.CurrentChanel = 0;
    overlay.ComPortName = sim.LinePath();
    SetChanelSetupOverlay(overlay);
    {
        ZQValve valve;
        BenchReadTask task(&valve);
        TaskRunner runner(task);
        runner.SetTimeout(60);
        result.status = runner.Run();
        result.state = task.GetState();
        result.trace = task.Trace();
        result.hourRecords = valve.HourArchive.size();
    }
    ClearChanelSetupOverlay();
    sim.Stop();
    std::string text;
    EXPECT_TRUE(ReadWholeFile(log, text));
    EXPECT_TRUE(ParseSimLog(text, result.exchanges, error)) << error;
    return result;
}

TEST(BenchReadTaskTest, RecordsEveryStepOfACleanReadAsTheDeviceSawIt) {
    // An empty monthly ring makes step 5 a step that sends nothing; 40 hourly
    // records take two chunks of at most 31.
    const WatchedRead read =
        ReadDevice({"--hour", "40", "--day", "3", "--month", "0", "--journal", "5"});
    ASSERT_EQ(read.status, 0);
    ASSERT_EQ(read.state, tsDone);
    EXPECT_EQ(read.hourRecords, 40u);
    using A = TickAction;
    const std::vector<TickAction> expected = {A::Nothing, A::Open,    A::Request, A::Request,
                                              A::Request, A::Nothing, A::Request, A::Request,
                                              A::Request, A::Request, A::Close};
    EXPECT_EQ(read.trace.actions, expected);
    EXPECT_FALSE(read.trace.unknownAction);
    ASSERT_EQ(read.trace.actionTimes.size(), expected.size());
    ASSERT_EQ(read.trace.actionOnTick.size(), expected.size());
    EXPECT_TRUE(read.trace.actionOnTick.front()) << "the first step runs on the first tick";
    for (size_t i = 1; i < expected.size(); ++i) {
        EXPECT_GE(read.trace.actionTimes[i], read.trace.actionTimes[i - 1]) << i;
    }
    ASSERT_TRUE(read.trace.firstTick && read.trace.done);
    EXPECT_GE(*read.trace.done, read.trace.actionTimes.back());

    // Seven requests: identification, the two register blocks, one daily,
    // two hourly and one journal chunk; each seen at every point, in order.
    ASSERT_EQ(read.exchanges.size(), 7u);
    ASSERT_EQ(read.trace.requests.size(), 7u);
    EXPECT_EQ(read.trace.answers, 7);
    EXPECT_EQ(read.trace.lostPackets, 0);
    size_t logged = 0;
    for (size_t i = 0; i < read.exchanges.size(); ++i) {
        logged += read.exchanges[i].answer.size();
        const RequestTiming& r = read.trace.requests[i];
        ASSERT_TRUE(r.started && r.answered && r.completed && r.nextStep) << "request " << i;
        EXPECT_LE(r.sent, *r.started);
        EXPECT_LE(*r.started, *r.answered);
        EXPECT_LE(*r.answered, *r.completed);
        EXPECT_LE(*r.completed, *r.nextStep);
    }
    EXPECT_EQ(read.trace.bytesReceived, logged);
    EXPECT_EQ(read.exchanges[0].request[1], 17);
    EXPECT_EQ(read.exchanges[3].request[1], 65);
    EXPECT_EQ(SumRequestPhases(read.trace.requests).requests, 7);

    TickFloor floor;
    std::string error;
    ASSERT_TRUE(
        ComputeTickFloor(read.trace.actions, read.exchanges, TickDiscipline(), floor, error))
        << error;
    EXPECT_EQ(floor.nothingTicks, 2);
    EXPECT_EQ(floor.openTicks, 3);
}

TEST(BenchReadTaskTest, ALostAnswerIsCountedAndLeavesNoFloor) {
    // The first archive chunk goes unanswered once; the retry gets it.
    const WatchedRead read = ReadDevice({"--hour", "3", "--day", "0", "--month", "0", "--journal",
                                         "0", "--fault", "drop:n=1,fn=65"});
    ASSERT_EQ(read.status, 0);
    EXPECT_EQ(read.state, tsDone);
    EXPECT_EQ(read.hourRecords, 3u);
    EXPECT_EQ(read.trace.lostPackets, 1);
    ASSERT_EQ(read.exchanges.size(), 5u);
    EXPECT_TRUE(read.exchanges[3].answer.empty());
    TickFloor floor;
    std::string error;
    EXPECT_FALSE(
        ComputeTickFloor(read.trace.actions, read.exchanges, TickDiscipline(), floor, error));
    EXPECT_NE(error.find("request 4 got no answer"), std::string::npos) << error;
}

}  // namespace

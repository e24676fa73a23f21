// The recording on its own thread: the lines reach the file whole and in
// the order given, and closing on a writer that hangs (a stalled pipe stands
// for a dead disk) gives up after its time and names the lines not written.
#include "MonitoringRecorderQueue.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

using std::chrono::milliseconds;

TDateTime At(int minute, int second) {
    TDateTime date = 0, time = 0;
    TryEncodeDate(2026, 3, 9, date);
    TryEncodeTime(10, minute, second, 0, time);
    return date + time;
}

CurrentParamsStruct Cycle(int i) {
    CurrentParamsStruct p;
    p.G = static_cast<float>(i);
    p.Vd = 100 + i;
    return p;
}

TEST(MonitoringRecorderQueue, WritesEveryLineInOrderBeforeFinishReturns) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("run.csv").toStdString();
    MonitoringRecorderQueue queue;
    queue.Open(path);
    std::string expected = MonitoringCsvHeader();
    for (int i = 0; i < 200; ++i) {
        queue.Append(At(i / 60, i % 60), Cycle(i));
        expected += MonitoringCsvLine(At(i / 60, i % 60), Cycle(i));
    }
    EXPECT_TRUE(queue.IsRecording());
    EXPECT_EQ(queue.Finish(milliseconds(20000)), "");
    EXPECT_FALSE(queue.IsRecording());
    EXPECT_EQ(queue.Pending(), 0u);
    queue.Append(At(59, 0), Cycle(1));  // closed: not recorded
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              expected);
}

TEST(MonitoringRecorderQueue, FinishGivesUpOnAHungWriterAndNamesTheLostLines) {
    // A recorder on standard output made a pipe, which then fills up and is
    // never read: its next write hangs as on a dead disk.
    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    std::fflush(stdout);
    const int savedOut = dup(STDOUT_FILENO);
    ASSERT_EQ(dup2(pipeFds[1], STDOUT_FILENO), STDOUT_FILENO);
    auto recorder = std::make_unique<MonitoringRecorder>();
    recorder->OpenStandardOutput();  // the header fits in the empty pipe
    dup2(savedOut, STDOUT_FILENO);
    close(savedOut);
    ASSERT_TRUE(recorder->IsOpen());
    // The recorder's duplicate shares these flags.
    fcntl(pipeFds[1], F_SETFL, O_NONBLOCK);
    const std::string filler(4096, 'x');
    while (write(pipeFds[1], filler.data(), filler.size()) > 0) {
    }
    fcntl(pipeFds[1], F_SETFL, 0);

    MonitoringRecorderQueue queue;
    queue.Adopt(std::move(recorder));
    for (int i = 0; i < 3; ++i) {
        queue.Append(At(0, 2 * i), Cycle(i));
    }
    EXPECT_EQ(queue.Finish(milliseconds(300)),
              std::string(kRecordUnfinishedText) + ": " + kStandardOutputName +
                  ": файл не ответил за 1 с, не записано строк: 3 (циклы с 2026-03-09 10:00:00 "
                  "по 2026-03-09 10:00:04)");
    // The hung write fails once nobody can read the pipe, and the writer,
    // told to drop the rest, ends.
    std::signal(SIGPIPE, SIG_IGN);
    close(pipeFds[0]);
    close(pipeFds[1]);
}

}  // namespace

// zqcli monitor --record against the simulator: one line per cycle with
// what zqcli printed, the file appended to by the next run, runs killed with
// SIGKILL at random moments that leave whole lines only, and the lines on
// standard output for a pipe.
#include "Processes.h"

#include <gtest/gtest.h>

#include <QThread>

#include <csignal>
#include <random>
#include <regex>
#include <sstream>

namespace {

const std::vector<std::string> kDevice = {"--baud", "0", "--latency", "0", "--seed", "11"};

const char kHeader[] =
    "Время,G,Tраб,Твкл,V+,V-,1.Неисправность,2.g < 0,3.g < g_пор,4.g > g_макс,Значение тока";

// A whole line of a cycle: time, G, two times of day, two volumes, four
// flags, the current.
const std::regex kLine(
    R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d,-?\d+\.\d{4},\d+:\d\d,\d+:\d\d,-?\d{9,}\.\d{3},)"
    R"(-?\d{9,}\.\d{3},[01],[01],[01],[01],\d+\.\d{3})");

// The lines of `text`; `whole` tells whether the last one was ended.
std::vector<std::string> Lines(const std::string& text, bool* whole = nullptr) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    if (whole) {
        *whole = text.empty() || text.back() == '\n';
    }
    return lines;
}

std::string Field(const std::string& line, int index) {
    std::stringstream in(line);
    std::string field;
    for (int i = 0; i <= index; ++i) {
        std::getline(in, field, ',');
    }
    return field;
}

// The value zqcli printed in its row `name` of each cycle.
std::vector<std::string> Printed(const std::string& out, const std::string& name) {
    std::vector<std::string> values;
    for (const std::string& line : Lines(out)) {
        if (line.rfind(name + " ", 0) == 0) {
            values.push_back(line.substr(line.find_last_of(' ') + 1));
        }
    }
    return values;
}

TEST(MonitorEndToEnd, RecordsOneLinePerCycleAndTheNextRunAppends) {
    Scene scene;
    scene.StartSim(kDevice);
    const std::string csv = scene.Path("run.csv");
    const std::vector<std::string> args = {"monitor", "--port",   "COM7", "--interval",
                                           "2",       "--record", csv};
    std::vector<std::string> three = args;
    three.insert(three.end(), {"--cycles", "3"});
    const Scene::Result r = scene.Cli(three);
    ASSERT_EQ(r.exitCode, 0) << r.err;

    const std::string first = FileBytes(csv).toStdString();
    std::vector<std::string> lines = Lines(first);
    ASSERT_EQ(lines.size(), 4u) << first;
    EXPECT_EQ(lines[0], kHeader);
    const std::vector<std::string> g = Printed(r.out, "Расход");
    const std::vector<std::string> vd = Printed(r.out, "V+");
    ASSERT_EQ(g.size(), 3u) << r.out;
    ASSERT_EQ(vd.size(), 3u);
    for (size_t i = 1; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        EXPECT_TRUE(std::regex_match(lines[i], kLine));
        EXPECT_EQ(Field(lines[i], 1), g[i - 1]);
        EXPECT_EQ(Field(lines[i], 4), vd[i - 1]);
        if (i > 1) {
            EXPECT_LT(Field(lines[i - 1], 0), Field(lines[i], 0)) << "a cycle every 2 s and more";
        }
    }

    std::vector<std::string> one = args;
    one.insert(one.end(), {"--cycles", "1"});
    ASSERT_EQ(scene.Cli(one).exitCode, 0);
    const std::string second = FileBytes(csv).toStdString();
    ASSERT_EQ(second.compare(0, first.size(), first), 0) << "the first run's lines are kept";
    lines = Lines(second);
    ASSERT_EQ(lines.size(), 5u) << second;
    EXPECT_TRUE(std::regex_match(lines[4], kLine)) << lines[4];
}

// Killed at random moments of a run, one in each second of its first six
// (starting, opening, the header, a cycle's line being written, a pause):
// every time, every line in the file is whole, and the next run goes on
// under the same header.
TEST(MonitorEndToEnd, AKilledRecordingLeavesWholeLines) {
    Scene scene;
    scene.StartSim(kDevice);
    const std::string csv = scene.Path("killed.csv");
    const std::vector<std::string> args = {"monitor", "--port",   "COM7", "--interval",
                                           "2",       "--record", csv};
    const unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::vector<std::string> lines;
    for (int second = 0; second < 6; ++second) {
        const int delayMs =
            std::uniform_int_distribution<int>(1000 * second, 1000 * second + 999)(random);
        SCOPED_TRACE("killed after " + std::to_string(delayMs) + " ms");
        std::unique_ptr<QProcess> cli = scene.StartCli(args);
        QThread::msleep(static_cast<unsigned long>(delayMs));
        ::kill(static_cast<pid_t>(cli->processId()), SIGKILL);
        ASSERT_TRUE(cli->waitForFinished(5000));

        bool whole = false;
        lines = Lines(FileBytes(csv).toStdString(), &whole);
        EXPECT_TRUE(whole);
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i == 0) {
                EXPECT_EQ(lines[0], kHeader);
            } else {
                EXPECT_TRUE(std::regex_match(lines[i], kLine)) << lines[i];
            }
        }
    }
    ASSERT_GE(lines.size(), 3u) << "the killed runs recorded too little to look at";

    std::vector<std::string> one = args;
    one.insert(one.end(), {"--cycles", "1"});
    ASSERT_EQ(scene.Cli(one).exitCode, 0);
    const std::vector<std::string> after = Lines(FileBytes(csv).toStdString());
    ASSERT_EQ(after.size(), lines.size() + 1);
    EXPECT_TRUE(std::regex_match(after.back(), kLine)) << after.back();
}

// --record - puts the lines on standard output, header first, and nothing
// else: a pipe takes a recording that way.
TEST(MonitorEndToEnd, RecordsToStandardOutputAndNothingElse) {
    Scene scene;
    scene.StartSim(kDevice);
    const Scene::Result r = scene.Cli(
        {"monitor", "--port", "COM7", "--interval", "2", "--cycles", "2", "--record", "-"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    bool whole = false;
    const std::vector<std::string> lines = Lines(r.out, &whole);
    EXPECT_TRUE(whole);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0], kHeader);
    EXPECT_TRUE(std::regex_match(lines[1], kLine)) << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], kLine)) << lines[2];
}

}  // namespace

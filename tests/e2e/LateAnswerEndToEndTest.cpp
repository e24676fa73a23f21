// A link that holds one answer past the request's time-out and then
// delivers it: the late answer is never taken for a later request. The read
// gives the clean read's file byte for byte, or ends with an error and the
// old file kept.
#include "Processes.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

ZQ_PRINT_CASES_BY_NAME

// Requests of this read: 1 identification, 2 current and 3 setup
// parameters, 4 monthly, 5 daily, 6..9 hourly chunks (31 records each, the
// last 7), 10 journal. The simulated device answers in order: a request
// that comes while an answer is held is answered after it.
std::vector<std::string> Device(const std::string& baud) {
    return {"--baud",
            baud,
            "--latency",
            "5",
            "--seed",
            "11",
            "--clock",
            "2026-03-10T14:30:00",
            "--frozen-clock",
            "--hour",
            "100",
            "--day",
            "2",
            "--month",
            "2",
            "--journal",
            "2"};
}

std::vector<std::string> With(std::vector<std::string> args, const std::string& fault) {
    args.push_back("--fault");
    args.push_back(fault);
    return args;
}

struct LateCase {
    const char* name;
    bool network;      // over TCP (an answer time-out of 5 s), else a serial line (1 s)
    const char* baud;  // 0: the answers come at once; 19200: each takes its wire time
    const char* fault;
    bool succeeds;
};

class LateAnswer : public testing::TestWithParam<LateCase> {};

TEST_P(LateAnswer, NeverBecomesData) {
    const LateCase& c = GetParam();
    Scene scene;
    auto read = [&](const std::vector<std::string>& device, const std::string& out) {
        std::vector<std::string> args = {"read", "--out", scene.Path(out)};
        if (c.network) {
            std::vector<std::string> net = device;
            net.insert(net.end(), {"--tcp-listen", "127.0.0.1:0"});
            args.insert(args.end(), {"--tcp", scene.StartNetSim(net)});
        } else {
            scene.StartSim(device);
            args.insert(args.end(), {"--port", "COM7"});
        }
        const Scene::Result r = scene.Cli(args, 120000);
        scene.StopSim();
        return r;
    };
    const Scene::Result clean = read(Device(c.baud), "clean.arch");
    ASSERT_EQ(clean.exitCode, 0) << clean.err;
    const QByteArray cleanFile = FileBytes(scene.Path("clean.arch"));

    // The file the late read is to replace.
    QFile old(QString::fromStdString(scene.Path("late.arch")));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("the engineer's old file");
    old.close();

    const Scene::Result late = read(With(Device(c.baud), c.fault), "late.arch");
    if (c.succeeds) {
        ASSERT_EQ(late.exitCode, 0) << late.err;
        EXPECT_EQ(FileBytes(scene.Path("late.arch")), cleanFile);
    } else {
        EXPECT_EQ(late.exitCode, 1) << late.err;
        EXPECT_EQ(FileBytes(scene.Path("late.arch")), QByteArray("the engineer's old file"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Link, LateAnswer,
    testing::Values(
        // Two answers in a row held past the time-out (1 s on a serial
        // line): the first comes while its request's retry is awaited, the
        // second while the next request's retry is.
        LateCase{"LineIdentification", false, "19200", "late:n=2,from=1,ms=1300", true},
        LateCase{"LineHourlyChunk", false, "19200", "late:n=2,from=7,ms=1300", true},
        LateCase{"LineHourlyChunkAtOnce", false, "0", "late:n=2,from=7,ms=1300", true},
        LateCase{"LineHeldPastEveryRetry", false, "19200", "late:n=1,from=7,ms=8000", false},
        // Over the network an answer may take 5 s.
        LateCase{"NetworkHourlyChunk", true, "19200", "late:n=2,from=7,ms=5400", true},
        LateCase{"NetworkHourlyChunkAtOnce", true, "0", "late:n=2,from=6,ms=5400", true}),
    [](const testing::TestParamInfo<LateCase>& info) { return std::string(info.param.name); });

}  // namespace

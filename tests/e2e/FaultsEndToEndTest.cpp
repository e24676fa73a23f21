// Each fault of the line: recovered by the retries when it passes, ending
// in its own text when it does not.
#include "Processes.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QFile>

namespace {

ZQ_PRINT_CASES_BY_NAME

struct FaultCase {
    const char* name;
    std::vector<std::string> simArgs;
    int exitCode;
    const char* status;
};

class Faults : public testing::TestWithParam<FaultCase> {};

TEST_P(Faults, EndAsExpected) {
    const FaultCase& c = GetParam();
    Scene scene;
    std::vector<std::string> args = {"--baud",  "0",      "--latency", "0",     "--seed",
                                     "3",       "--hour", "40",        "--day", "2",
                                     "--month", "2",      "--journal", "2"};
    args.insert(args.end(), c.simArgs.begin(), c.simArgs.end());
    scene.StartSim(args);
    const Scene::Result r = scene.Cli({"read", "--port", "COM7", "--out", scene.Path("f.arch")});
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ(r.LastStatus(), c.status) << r.err;
    // Only a read that succeeded writes its file.
    EXPECT_EQ(QFile::exists(QString::fromStdString(scene.Path("f.arch"))), c.exitCode == 0);
}

const char* const kDone = "Чтение параметров выполнено";
const char* const kBadCount = "Неверное количество данных в ответе от прибора";

INSTANTIATE_TEST_SUITE_P(
    Line, Faults,
    testing::Values(
        FaultCase{"DroppedTwice", {"--fault", "drop:n=2,fn=65"}, 0, kDone},
        FaultCase{"BadCrcOnce", {"--fault", "crc:n=1,fn=4"}, 0, kDone},
        FaultCase{"TruncatedOnce", {"--fault", "truncate:n=1,fn=65"}, 0, kDone},
        FaultCase{"GarbageOnce", {"--fault", "garbage:n=1,fn=3"}, 0, kDone},
        FaultCase{"AlwaysDropped", {"--fault", "drop:fn=17"}, 1, "Нет ответа от прибора"},
        FaultCase{"AlwaysBadCrc", {"--fault", "crc:fn=17"}, 1, "Ошибка CRC в ответе от прибора"},
        FaultCase{
            "AlwaysTruncated", {"--fault", "truncate:fn=4"}, 1, "Ошибка CRC в ответе от прибора"},
        FaultCase{
            "Exception", {"--fault", "exception:n=1,fn=4,code=4"}, 1, "Внутренняя ошибка прибора"},
        FaultCase{"StopsAnswering", {"--stop-after", "4"}, 1, "Нет ответа от прибора"},
        FaultCase{"HangsUp", {"--hangup-after", "4"}, 1, "Нет ответа от прибора"},
        // Well-formed answers that are not the answer asked for.
        FaultCase{"NoRecordsOnce", {"--fault", "empty:n=1"}, 0, kDone},
        FaultCase{"NoRecordsEver", {"--fault", "empty"}, 1, kBadCount},
        FaultCase{"WrongKind", {"--fault", "kind"}, 1, "Ответ прибора не соответствует запросу"},
        FaultCase{"RingsOutside", {"--fault", "rings"}, 1, kBadCount}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// A cancel while the worker waits out an answer that never comes (about a
// second per request), here by --timeout, whose moment counts from the
// run's start as the exchange does (the first request goes out about
// 0.6 s in, its retry about a second later): the run ends as cancelled,
// never by a crash, and soon.
class CancelWhileBusy : public testing::TestWithParam<const char*> {};

TEST_P(CancelWhileBusy, EndsCleanly) {
    Scene scene;
    scene.StartSim({"--baud", "0", "--latency", "0", "--fault", "drop"});
    const Scene::Result r = scene.Cli(
        {"read", "--port", "COM7", "--out", scene.Path("f.arch"), "--timeout", GetParam()}, 10000);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("Время ожидания истекло"), std::string::npos) << r.err;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(scene.Path("f.arch"))));
}

INSTANTIATE_TEST_SUITE_P(Moments, CancelWhileBusy, testing::Values("0.65", "0.75", "1.7", "1.8"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = std::string("After") + info.param + "s";
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

}  // namespace

// zqcli's bounds on the pause and the time-out, where --record may go,
// what --allow takes, and the period and the output of fleet report:
// values outside them are usage errors (exit 2); the bounds themselves are accepted (the command
// then fails only on its missing file, exit 1), and a file that cannot take a recording ends the
// command (exit 1) before the device is called.
#include "Processes.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

ZQ_PRINT_CASES_BY_NAME

struct OptionCase {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    const char* said = nullptr;  // on standard error, when given
};

class OptionBounds : public testing::TestWithParam<OptionCase> {};

TEST_P(OptionBounds, ExitAsExpected) {
    const OptionCase& c = GetParam();
    Scene scene;
    std::vector<std::string> args = c.args;
    for (std::string& a : args) {
        if (a == "MISSING") {
            a = scene.Path("missing.arch");
        } else if (a == "FIFO") {
            a = scene.Path("pipe.csv");
            ASSERT_EQ(mkfifo(a.c_str(), 0600), 0);
        }
    }
    const Scene::Result r = scene.Cli(args, 20000);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    if (c.exitCode == 2) {
        EXPECT_NE(r.err.find(c.args[1]), std::string::npos) << r.err;
    }
    if (c.said) {
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, OptionBounds,
    testing::Values(
        OptionCase{"IntervalZero", {"monitor", "--interval", "0", "--port", "COM7"}, 2},
        OptionCase{"IntervalNegative", {"monitor", "--interval", "-5", "--port", "COM7"}, 2},
        OptionCase{"IntervalOne", {"monitor", "--interval", "1", "--port", "COM7"}, 2},
        OptionCase{"IntervalAboveDialog", {"monitor", "--interval", "1001", "--port", "COM7"}, 2},
        OptionCase{"IntervalLowest", {"show", "--interval", "2", "MISSING"}, 1},
        OptionCase{"IntervalHighest", {"show", "--interval", "1000", "MISSING"}, 1},
        OptionCase{"TimeoutOverflowingMilliseconds",
                   {"read", "--timeout", "2147484", "--out", "MISSING"},
                   2},
        OptionCase{"TimeoutAboveBound", {"read", "--timeout", "1000001", "--out", "MISSING"}, 2},
        OptionCase{"TimeoutAtBound", {"show", "--timeout", "1000000", "MISSING"}, 1},
        OptionCase{"PeriodNotADate",
                   {"read", "--period", "2024-06-31..2024-07-01", "--out", "MISSING"},
                   2},
        OptionCase{"PeriodBackwards",
                   {"read", "--period", "2024-07-01..2024-06-01", "--out", "MISSING"},
                   2},
        OptionCase{"PeriodBeforeTheDevicesYears",
                   {"read", "--period", "1999-12-31..2024-06-01", "--out", "MISSING"},
                   2},
        OptionCase{"PeriodWithASpaceInADate",
                   {"read", "--period", "2024-06- 1..2024-06-07", "--out", "MISSING"},
                   2},
        OptionCase{"PeriodWithASignInADate",
                   {"read", "--period", "2024-+6-01..2024-06-07", "--out", "MISSING"},
                   2},
        OptionCase{
            "WholeIfOtherWithoutMissing", {"read", "--whole-if-other", "--out", "MISSING"}, 2},
        OptionCase{"DropOldestWithoutMissing", {"read", "--drop-oldest", "--out", "MISSING"}, 2},
        OptionCase{"PeriodWithMissing",
                   {"read", "--period", "2024-06-01..2024-06-07", "--missing", "MISSING", "--out",
                    "MISSING"},
                   2},
        OptionCase{"MissingWithoutRead", {"show", "--missing", "MISSING", "MISSING"}, 2},
        // The old file is read before the device is called.
        OptionCase{
            "MissingFileThatCannotBeRead", {"read", "--missing", "MISSING", "--out", "MISSING"}, 1},
        OptionCase{"RecordOutsideMonitor", {"read", "--record", "run.csv", "--out", "MISSING"}, 2},
        // fleet report: a period of real days, FROM not after TO, and one
        // output; scan's --from stays an address.
        OptionCase{"ReportDayNotADate",
                   {"fleet", "--from", "2024-06-31", "report", "--to", "2024-07-01", "--csv"},
                   2},
        OptionCase{"ReportBackwards",
                   {"fleet", "--to", "2024-05-31", "report", "--from", "2024-06-01", "--csv"},
                   2},
        OptionCase{"ReportWithoutOutput",
                   {"fleet", "report", "--from", "2024-06-01", "--to", "2024-06-30"},
                   2,
                   "--xlsx OUT.xlsx or --csv"},
        OptionCase{"ReportToBothOutputs",
                   {"fleet", "report", "--from", "2024-06-01", "--to", "2024-06-30", "--csv",
                    "--xlsx", "MISSING"},
                   2,
                   "not both"},
        OptionCase{"ScanFromNotAnAddress", {"scan", "--from", "2024-06-01"}, 2},
        // A list with no address would let every caller in.
        OptionCase{"AllowEmpty", {"monitor", "--allow", "", "--listen", "4001"}, 2},
        OptionCase{"AllowBlank", {"monitor", "--allow", " ", "--listen", "4001"}, 2},
        OptionCase{"AllowSeparatorsOnly", {"monitor", "--allow", ",;", "--listen", "4001"}, 2},
        // Neither a pipe nor a folder takes a recording; refused before the
        // device is called.
        OptionCase{"RecordIntoPipe",
                   {"monitor", "--record", "FIFO", "--port", "COM7"},
                   1,
                   "это именованный канал"},
        OptionCase{
            "RecordIntoFolder", {"monitor", "--record", "/tmp", "--port", "COM7"}, 1, "это папка"},
        // The recording's file is opened first: no device is needed to fail.
        OptionCase{"RecordIntoMissingFolder",
                   {"monitor", "--record", "/nonexistent-folder/run.csv", "--port", "COM7"},
                   1}),
    [](const testing::TestParamInfo<OptionCase>& info) { return std::string(info.param.name); });

}  // namespace

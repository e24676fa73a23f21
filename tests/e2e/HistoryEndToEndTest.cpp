// zqcli read --missing as a monthly round uses it: one device's history
// grown read by read beyond what its rings keep, another device's file never
// replaced, a history longer than the file holds never cut silently.
#include "ArchiveFile.h"
#include "HourlyDocument.h"
#include "Processes.h"

#include <gtest/gtest.h>

#include <QFile>

#include <algorithm>

namespace {

// Requests of the device's function 65 logged since the simulator started.
int ArchiveRequests(const Scene& scene) {
    int count = 0;
    for (const Exchange& e : scene.LoggedExchanges()) {
        count += e.request.size() > 1 && e.request[1] == 65;
    }
    return count;
}

// A whole read's list, then the records only the older file has, in its order.
template <class List>
List Chained(const List& whole, const List& older) {
    List out = whole;
    for (const auto& record : older) {
        if (std::find(whole.begin(), whole.end(), record) == whole.end()) {
            out.push_back(record);
        }
    }
    return out;
}

// Last month's file, then this month's --missing of it: the same as a whole
// read of what the device holds now, followed by what only last month's
// file still has (the rings wrapped in between).
TEST(HistoryEndToEnd, MonthlyReadsChainIntoOneHistory) {
    Scene scene;
    const std::vector<std::string> device = {
        "--baud",      "0",    "--latency",      "0",   "--seed",        "9",  "--hour",  "200",
        "--hour-ring", "1200", "--day",          "40",  "--day-ring",    "70", "--month", "13",
        "--journal",   "45",   "--journal-ring", "300", "--empty-count", "1"};
    auto at = [&](const char* clock, const char* later) {
        std::vector<std::string> args = device;
        args.insert(args.end(), {"--clock", clock, "--later", later});
        return args;
    };
    const std::string history = scene.Path("history.arch");
    scene.StartSim(at("2024-06-19T12:00:00", "30"));
    ASSERT_EQ(scene.Cli({"read", "--port", "COM7", "--out", history}).exitCode, 0);
    scene.StopSim();
    ZQValve june;
    ReadArchiveFile(history, june);

    scene.StartSim(at("2024-07-19T12:00:00", "60"));
    const Scene::Result grown =
        scene.Cli({"read", "--port", "COM7", "--missing", history, "--out", history});
    ASSERT_EQ(grown.exitCode, 0) << grown.err;
    EXPECT_NE(grown.out.find("new since " + history + ": 720 hourly, 30 daily, 1 monthly"),
              std::string::npos)
        << grown.out;
    const std::string whole = scene.Path("whole.arch");
    ASSERT_EQ(scene.Cli({"read", "--port", "COM7", "--out", whole}).exitCode, 0);

    ZQValve july, now;
    ReadArchiveFile(history, july);
    ReadArchiveFile(whole, now);
    EXPECT_EQ(july.HourArchive, Chained(now.HourArchive, june.HourArchive));
    EXPECT_EQ(july.DayArchive, Chained(now.DayArchive, june.DayArchive));
    EXPECT_EQ(july.MonthArchive, Chained(now.MonthArchive, june.MonthArchive));
    EXPECT_EQ(july.Journal, Chained(now.Journal, june.Journal));
    // Longer than the rings of 1199 and 69 records.
    EXPECT_EQ(july.HourArchive.size(), 200u - 1 + 1440);
    EXPECT_GT(july.DayArchive.size(), 69u);
}

// A file of device 4711 and device 4712 on the line: refused before any
// archive is read unless --whole-if-other, which still never writes over
// the file given to --missing, by whatever path it is named.
TEST(HistoryEndToEnd, AnotherDevicesFileIsNeverReplaced) {
    Scene scene;
    const std::vector<std::string> device = {"--baud", "0", "--latency", "0", "--hour",    "40",
                                             "--day",  "5", "--month",   "2", "--journal", "5"};
    std::vector<std::string> first = device;
    first.insert(first.end(), {"--serial", "4711"});
    const std::string meter = scene.Path("meter.arch");
    scene.StartSim(first);
    ASSERT_EQ(scene.Cli({"read", "--port", "COM7", "--out", meter}).exitCode, 0);
    scene.StopSim();
    const QByteArray meterBytes = FileBytes(meter);

    std::vector<std::string> second = device;
    second.insert(second.end(), {"--serial", "4712"});
    scene.StartSim(second);
    const std::string other = scene.Path("other.arch");
    const struct {
        const char* name;
        std::vector<std::string> options;
        int exitCode;
    } rows[] = {
        {"Refused", {"--out", meter}, 1},
        {"WholeIfOtherNeverOverTheSameFile",
         {"--whole-if-other", "--out", scene.Path("./meter.arch")},
         1},
        {"WholeIfOtherIntoAnotherFile", {"--whole-if-other", "--out", other}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const int before = ArchiveRequests(scene);
        std::vector<std::string> args = {"read", "--port", "COM7", "--missing", meter};
        args.insert(args.end(), row.options.begin(), row.options.end());
        const Scene::Result r = scene.Cli(args);
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
        EXPECT_EQ(FileBytes(meter), meterBytes);
        if (row.exitCode != 0) {
            EXPECT_EQ(ArchiveRequests(scene), before);
            EXPECT_NE(r.LastStatus().find("№ 000004711"), std::string::npos) << r.err;
            EXPECT_NE(r.LastStatus().find("№ 000004712"), std::string::npos) << r.err;
            continue;
        }
        ZQValve read;
        ReadArchiveFile(other, read);
        EXPECT_EQ(read.Current.Serial, 4712u);
        EXPECT_EQ(read.HourArchive.size(), 40u);
    }
}

// Last year's file full to its 65535 hourly records, none of them on the
// device any more: the 40 the device holds do not fit beside them.
TEST(HistoryEndToEnd, HistoryBeyondTheFileIsNeverCutSilently) {
    Scene scene;
    scene.StartSim({"--baud", "0", "--latency", "0", "--serial", "4711", "--hour", "40", "--day",
                    "5", "--month", "2", "--journal", "5", "--clock", "2024-07-01T12:00:00"});
    const ZQValve full = HourlyDocument(4711, 65535, {2023, 1, 1, 0, 0, 0});
    const std::string old = scene.Path("old.arch");
    WriteArchiveFile(old, full);
    const QByteArray oldBytes = FileBytes(old);
    const std::string copy = scene.Path("copy.arch");

    const struct {
        const char* name;
        std::vector<std::string> options;
        int exitCode;
        std::string written;  // "" = none
    } rows[] = {
        {"OverTheOldFileRefused", {"--out", old}, 1, ""},
        {"IntoAnotherFile", {"--out", copy}, 0, copy},
        {"OverTheOldFileWithDropOldest", {"--out", old, "--drop-oldest"}, 0, old},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = {"read", "--port", "COM7", "--missing", old};
        args.insert(args.end(), row.options.begin(), row.options.end());
        const Scene::Result r = scene.Cli(args);
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
        EXPECT_NE(r.err.find("the oldest 40 hourly records are left out"), std::string::npos)
            << r.err;
        if (row.written.empty()) {
            EXPECT_EQ(FileBytes(old), oldBytes);
            continue;
        }
        EXPECT_NE(r.out.find(row.written + ": 65535 hourly"), std::string::npos) << r.out;
        ZQValve saved;
        ReadArchiveFile(row.written, saved);
        ASSERT_EQ(saved.HourArchive.size(), 65535u);
        EXPECT_EQ(saved.HourArchive.back(), full.HourArchive[65535 - 41]);
        EXPECT_EQ(saved.HourArchive[40], full.HourArchive[0]);
    }
}

}  // namespace

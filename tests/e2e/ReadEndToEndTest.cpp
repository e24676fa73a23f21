// A full read, and reads with each archive choice, against the simulator.
#include "ArchiveFile.h"
#include "Processes.h"
#include "ReadInterval.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

ZQ_PRINT_CASES_BY_NAME

const std::vector<std::string> kDevice = {
    "--baud", "0",  "--latency", "0",  "--seed",    "7",  "--hour", "70",
    "--day",  "40", "--month",   "13", "--journal", "45", "--wrap", "--empty-count",
    "2"};

TEST(ReadEndToEnd, FileHoldsExactlyTheDeviceRecordsInReadOrder) {
    Scene scene;
    scene.StartSim(kDevice);
    const Scene::Result r = scene.Cli({"read", "--port", "COM7", "--out", scene.Path("all.arch")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.LastStatus(), "Чтение параметров выполнено");
    ZQValve valve;
    ReadArchiveFile(scene.Path("all.arch"), valve);
    auto rings = scene.DumpedRecords();
    EXPECT_EQ(AsBytes(valve.HourArchive), Stored(rings["hour"]));
    EXPECT_EQ(AsBytes(valve.DayArchive), Stored(rings["day"]));
    EXPECT_EQ(AsBytes(valve.MonthArchive), Stored(rings["month"]));
    EXPECT_EQ(AsBytes(valve.Journal), Stored(rings["journal"]));
    EXPECT_GT(valve.HourArchive.size(), 60u);  // several chunks of 31
    EXPECT_EQ(valve.Ident[2], 1);
    EXPECT_EQ(valve.Setup.ClearArchive, 0);
    EXPECT_NE(valve.Current.Serial, 0u);

    // show prints what the pages would: one row per usable record.
    const Scene::Result shown =
        scene.Cli({"show", scene.Path("all.arch"), "--section", "hour", "--csv"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    size_t rows = 0;
    for (size_t at = 0; (at = shown.out.find("\r\n", at)) != std::string::npos; at += 2) {
        ++rows;
    }
    EXPECT_EQ(rows, valve.HourArchive.size() + 1);
    EXPECT_EQ(shown.out.rfind("Дата,V+,V-,Tраб,Статус\r\n", 0), 0u);
}

struct ChoiceCase {
    const char* name;
    const char* archives;
    bool hour, day, month, journal;
};

class ReadChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(ReadChoice, OnlyChosenArchivesAreRead) {
    const ChoiceCase& c = GetParam();
    Scene scene;
    scene.StartSim({"--baud", "0", "--latency", "0", "--hour", "5", "--day", "4", "--month", "3",
                    "--journal", "2"});
    const Scene::Result r = scene.Cli(
        {"read", "--port", "COM7", "--archives", c.archives, "--out", scene.Path("a.arch")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ZQValve valve;
    ReadArchiveFile(scene.Path("a.arch"), valve);
    EXPECT_EQ(valve.HourArchive.size(), c.hour ? 5u : 0u);
    EXPECT_EQ(valve.DayArchive.size(), c.day ? 4u : 0u);
    EXPECT_EQ(valve.MonthArchive.size(), c.month ? 3u : 0u);
    EXPECT_EQ(valve.Journal.size(), c.journal ? 2u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, ReadChoice,
    testing::Values(ChoiceCase{"None", "none", false, false, false, false},
                    ChoiceCase{"Hour", "hour", true, false, false, false},
                    ChoiceCase{"DayMonth", "day,month", false, true, true, false},
                    ChoiceCase{"Journal", "journal", false, false, false, true}),
    [](const testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

TEST(ReadEndToEnd, FailedReadWritesNothing) {
    Scene scene;
    const Scene::Result r =
        scene.Cli({"read", "--port", "COM7", "--out", scene.Path("none.arch")}, 20000);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.LastStatus(), "Соединение не установлено");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(scene.Path("none.arch"))));
}

// Requests of the device's function 65 logged since the simulator started.
int ArchiveRequests(const Scene& scene) {
    int count = 0;
    for (const Exchange& e : scene.LoggedExchanges()) {
        count += e.request.size() > 1 && e.request[1] == 65;
    }
    return count;
}

// Last month's file and the same device a month on: --missing grows the
// file to what a whole read gives (the file named twice is replaced only
// by a read that succeeded); --period keeps one week's records and reads
// less than the whole archive.
TEST(ReadEndToEnd, MissingPartGrowsTheFileAndPeriodKeepsAWeek) {
    Scene scene;
    const std::vector<std::string> device = {"--baud",  "0",      "--latency", "0",     "--seed",
                                             "7",       "--hour", "70",        "--day", "40",
                                             "--month", "13",     "--journal", "45"};
    std::vector<std::string> then = device;
    then.insert(then.end(), {"--clock", "2024-06-01T12:00:00"});
    scene.StartSim(then);
    const std::string old = scene.Path("old.arch");
    ASSERT_EQ(scene.Cli({"read", "--port", "COM7", "--out", old}).exitCode, 0);
    scene.StopSim();
    const QByteArray oldBytes = FileBytes(old);

    const Scene::Result failed =
        scene.Cli({"read", "--port", "/nonexistent/tty", "--missing", old, "--out", old}, 20000);
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(FileBytes(old), oldBytes);

    std::vector<std::string> later = device;
    later.insert(later.end(), {"--clock", "2024-07-01T12:00:00", "--later", "30"});
    scene.StartSim(later);
    // The log goes on from the first device's requests.
    const int before = ArchiveRequests(scene);
    const Scene::Result grown =
        scene.Cli({"read", "--port", "COM7", "--missing", old, "--out", old});
    ASSERT_EQ(grown.exitCode, 0) << grown.err;
    EXPECT_NE(grown.out.find("new since " + old + ": 720 hourly, 30 daily, 1 monthly"),
              std::string::npos)
        << grown.out;
    const int missingRequests = ArchiveRequests(scene) - before;
    ASSERT_EQ(scene.Cli({"read", "--port", "COM7", "--out", scene.Path("whole.arch")}).exitCode, 0);
    const int wholeRequests = ArchiveRequests(scene) - before - missingRequests;
    EXPECT_LT(missingRequests, wholeRequests);
    ASSERT_EQ(scene
                  .Cli({"read", "--port", "COM7", "--period", "2024-06-10..2024-06-16", "--out",
                        scene.Path("week.arch")})
                  .exitCode,
              0);
    EXPECT_LT(ArchiveRequests(scene) - before - missingRequests - wholeRequests, wholeRequests);

    ZQValve merged, whole, week;
    ReadArchiveFile(old, merged);
    ReadArchiveFile(scene.Path("whole.arch"), whole);
    ReadArchiveFile(scene.Path("week.arch"), week);
    EXPECT_EQ(merged.HourArchive, whole.HourArchive);
    EXPECT_EQ(merged.DayArchive, whole.DayArchive);
    EXPECT_EQ(merged.MonthArchive, whole.MonthArchive);
    EXPECT_EQ(merged.Journal, whole.Journal);
    EXPECT_EQ(merged.HourArchive.size(), 790u);

    TDateTime from = 0;
    TDateTime to = 0;
    TryEncodeDate(2024, 6, 10, from);
    TryEncodeDate(2024, 6, 16, to);
    auto inWeek = [&](const auto& list) {
        std::decay_t<decltype(list)> out;
        for (const auto& r : list) {
            TDateTime day = 0;
            if (RecordDay(r.Bytes(), day) && day >= from && day <= to) {
                out.push_back(r);
            }
        }
        return out;
    };
    EXPECT_EQ(week.HourArchive, inWeek(whole.HourArchive));
    EXPECT_EQ(week.HourArchive.size(), 7u * 24);
    EXPECT_EQ(week.DayArchive, inWeek(whole.DayArchive));
    EXPECT_EQ(week.MonthArchive.size(), 0u);
    EXPECT_EQ(week.Journal, inWeek(whole.Journal));
}

}  // namespace

// A full read, and reads with each archive choice, against the simulator.
#include "ArchiveFile.h"
#include "Processes.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

namespace {

ZQ_PRINT_CASES_BY_NAME

const std::vector<std::string> kDevice = {
    "--baud", "0",  "--latency", "0",  "--seed",    "7",  "--hour", "70",
    "--day",  "40", "--month",   "13", "--journal", "45", "--wrap", "--empty-count",
    "2"};

template <class List>
std::vector<RecordBytes> AsBytes(const List& list) {
    std::vector<RecordBytes> out;
    for (const auto& r : list) {
        out.push_back(Bytes16(r));
    }
    return out;
}

// The records the device holds, in read order, without its empty slots.
std::vector<RecordBytes> Stored(const std::vector<RecordBytes>& ring) {
    std::vector<RecordBytes> out;
    for (const auto& r : ring) {
        if (!ZQ_namespace::IsEmptySlot(r.data())) {
            out.push_back(r);
        }
    }
    return out;
}

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

}  // namespace

// zqcli fleet report on the history a round read from the simulated device:
// the CSV's figures are those of the device's own records, the workbook is
// written whole, and one that cannot be written leaves nothing.
#include "ArchiveStruct.h"
#include "JournalStruct.h"
#include "Processes.h"

#include <gtest/gtest.h>

#include <QDir>

#include <cstdio>
#include <cstring>

namespace {

using ZQ_namespace::ArchiveStruct;
using ZQ_namespace::JournalStruct;

std::string Volume(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// A counter as the window shows it.
double Shown(double value) {
    return std::stod(Volume(value));
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1) {
        fields.push_back(line.substr(start, comma - start));
    }
    fields.push_back(line.substr(start));
    return fields;
}

TEST(FleetReportEndToEnd, FiguresAreTheDevicesRecords) {
    Scene scene;
    // 120 hourly records up to hour 13 of 10 March: 5 March 14:00 on.
    scene.StartSim({"--baud", "0", "--latency", "2", "--clock", "2026-03-10T14:30:00",
                    "--frozen-clock", "--hour", "120", "--day", "20", "--month", "5", "--journal",
                    "80"});
    const std::string db = scene.Path("fleet.sqlite");
    auto fleet = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "fleet");
        args.insert(args.end(), {"--db", db});
        return scene.Cli(args, 120000);
    };
    ASSERT_EQ(fleet({"add", "Котельная", "--port", "COM7", "--group", "Север"}).exitCode, 0);
    const Scene::Result round = fleet({"round"});
    ASSERT_EQ(round.exitCode, 0) << round.err;

    // The period 6..9 March: the counters of hour 23 of 5 March and of
    // 9 March, every hour of the four days, their flags and events.
    auto rings = scene.DumpedRecords();
    std::optional<ArchiveStruct> start, end;
    int hours = 0;
    int abnormal = 0;
    for (const RecordBytes& bytes : Stored(rings["hour"])) {
        ArchiveStruct r;
        std::memcpy(&r, bytes.data(), sizeof r);
        if (r.year != 26 || r.month != 3) {
            continue;
        }
        if (r.hour == 23 && (r.day == 5 || r.day == 9)) {
            (r.day == 5 ? start : end) = r;
        }
        if (r.day >= 6 && r.day <= 9) {
            ++hours;
            abnormal += (r.flags & 0x0F) != 0 ? 1 : 0;
        }
    }
    int events = 0;
    for (const RecordBytes& bytes : Stored(rings["journal"])) {
        JournalStruct r;
        std::memcpy(&r, bytes.data(), sizeof r);
        events += r.year == 26 && r.month == 3 && r.day >= 6 && r.day <= 9 ? 1 : 0;
    }
    ASSERT_TRUE(start && end);
    ASSERT_EQ(hours, 96);
    ASSERT_GT(events, 0);

    const Scene::Result csv =
        fleet({"report", "--from", "2026-03-06", "--to", "2026-03-09", "--csv"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    const size_t eol = csv.out.find("\r\n");
    ASSERT_NE(eol, std::string::npos);
    EXPECT_EQ(csv.out.rfind("Прибор,Группа,Заводской номер,Начало,", 0), 0u) << csv.out;
    ASSERT_EQ(csv.out.size(), csv.out.find("\r\n", eol + 2) + 2) << "one meter:\n" << csv.out;
    const std::vector<std::string> row = Fields(csv.out.substr(eol + 2, csv.out.size() - eol - 4));
    ASSERT_EQ(row.size(), 18u) << csv.out;
    const std::vector<std::string> expected = {
        "Котельная",
        "Север",
        row[2],  // the serial number the round learnt
        "2026-03-06 00:00",
        Volume(start->VPlus()),
        Volume(start->VMinus()),
        "2026-03-10 00:00",
        Volume(end->VPlus()),
        Volume(end->VMinus()),
        Volume(Shown(end->VPlus()) - Shown(start->VPlus())),
        Volume(Shown(end->VMinus()) - Shown(start->VMinus())),
        "96",
        "0",
        std::to_string(abnormal),
        std::to_string(events),
        row[15],  // the round's end
        "успех",
        ""};
    EXPECT_EQ(row, expected);
    EXPECT_EQ(row[2].size(), 9u);

    const Scene::Result xlsx = fleet(
        {"report", "--from", "2026-03-06", "--to", "2026-03-09", "--xlsx", scene.Path("r.xlsx")});
    ASSERT_EQ(xlsx.exitCode, 0) << xlsx.err;
    EXPECT_NE(xlsx.out.find("r.xlsx: 1 meters"), std::string::npos) << xlsx.out;
    EXPECT_EQ(FileBytes(scene.Path("r.xlsx")).left(4), QByteArray("PK\x03\x04"));
    // Into a folder that is not there: exit 1 naming the file, nothing left.
    const std::string missing = scene.Path("gone/r.xlsx");
    const Scene::Result failed =
        fleet({"report", "--from", "2026-03-06", "--to", "2026-03-09", "--xlsx", missing});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.err.find(missing), std::string::npos) << failed.err;
    const QStringList left = QDir(QString::fromStdString(scene.Path("")))
                                 .entryList({QStringLiteral("*.xlsx*"), QStringLiteral(".r.xlsx*")},
                                            QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, QStringList{QStringLiteral("r.xlsx")});
}

}  // namespace

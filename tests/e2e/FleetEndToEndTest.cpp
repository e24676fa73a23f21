// zqcli fleet as a utility uses it: meters registered, edited and listed,
// the register through a spreadsheet and back, reads of a device imported
// into its history and given back as the file of a whole read, another
// device's file refused, and an import killed at any moment leaving every
// file stored whole or not at all.
#include "ArchiveFile.h"
#include "HourlyDocument.h"
#include "Processes.h"

#include <gtest/gtest.h>

#include <QFile>

#include <csignal>

namespace {

// zqcli fleet with the scene's database.
Scene::Result Fleet(Scene& scene, std::vector<std::string> args) {
    args.insert(args.begin(), "fleet");
    args.insert(args.end(), {"--db", scene.Path("fleet.sqlite")});
    return scene.Cli(args);
}

std::string Counts(Scene& scene, const std::string& meter) {
    const Scene::Result list = Fleet(scene, {"list", "--csv"});
    for (size_t at = list.out.find("\r\n" + meter + ","); at != std::string::npos;) {
        const size_t end = list.out.find("\r\n", at + 2);
        const std::string line = list.out.substr(at + 2, end - at - 2);
        // The last four fields: the records held per list.
        size_t comma = line.size();
        for (int i = 0; i < 4; ++i) {
            comma = line.rfind(',', comma - 1);
        }
        return line.substr(comma + 1);
    }
    return "no meter " + meter;
}

TEST(FleetEndToEnd, RegisterCommands) {
    Scene scene;
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* err;  // a text of standard error; "" none expected
    } steps[] = {
        {{"add", "Котельная", "--port", "COM3", "--group", "Север"}, 0, ""},
        {{"add", "Школа", "--tcp", "10.0.0.5:4001", "--address", "7", "--note", "во дворе, слева"},
         0,
         ""},
        {{"add", "Насосная", "--modem", "Zyxel", "--phone", "+74951234567"}, 0, ""},
        {{"add", "Котельная", "--port", "COM4"}, 1, "«Котельная» уже есть в реестре"},
        {{"add", "Вокзал", "--listen", "4001"}, 2, "--allow"},
        {{"add", "Вокзал", "--listen", "4001", "--allow", "any"}, 0, "every caller"},
        {{"add", "Рынок", "--port", "COM3", "--address", "248"}, 2, "1..247"},
        {{"add", "Рынок", "--tcp", "10.0.0.5"}, 2, "HOST:PORT"},
        {{"add", "Рынок", "--port", "COM3", "--tcp", "10.0.0.5:1"}, 2, "not several"},
        {{"add", "Рынок"}, 2, "needs a connection"},
        {{"edit", "Котельная", "--name", "Котельная 2", "--address", "9", "--collector", "north"},
         0,
         ""},
        {{"list", "--collector", "north"}, 2, "--collector goes with"},
        {{"edit", "Котельная", "--port", "COM1"}, 1, "«Котельная» нет в реестре"},
        {{"edit", "Школа", "--name", "Котельная 2"}, 1, "уже есть"},
        {{"remove", "Вокзал"}, 2, "--yes"},
        {{"remove", "Вокзал", "--yes"}, 0, "history stays"},
        {{"list", "--purge"}, 2, "--purge"},
        {{"history", "Школа"}, 2, "--out"},
        {{"frobnicate"}, 2, "unknown command"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.args[0] + " " + step.args[1 % step.args.size()]);
        const Scene::Result r = Fleet(scene, step.args);
        EXPECT_EQ(r.exitCode, step.exitCode) << r.err;
        EXPECT_NE(r.err.find(step.err), std::string::npos) << r.err;
    }
    const Scene::Result list = Fleet(scene, {"list", "--csv"});
    EXPECT_EQ(list.out,
              "Имя,Связь,Адрес,Группа,Сборщик,Заводской номер,Последний опрос,Итог,Текст,"
              "Часовых,Суточных,Месячных,Событий\r\n"
              "Котельная 2,COM порт COM3,9,Север,north,,,,,0,0,0,0\r\n"
              "Насосная,\"модем Zyxel, +74951234567\",1,,,,,,,0,0,0,0\r\n"
              "Школа,сеть 10.0.0.5:4001,7,,,,,,,0,0,0,0\r\n");
    EXPECT_EQ(Fleet(scene, {"list", "--csv", "--group", "Север"}).out.find("Школа"),
              std::string::npos);

    // Through a spreadsheet into another database, and a table with a bad
    // line that adds nothing.
    const std::string csv = Fleet(scene, {"export-csv"}).out;
    const std::string table = scene.Path("meters.csv");
    QFile file(QString::fromStdString(table));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(csv));
    file.close();
    const std::string other = scene.Path("other.sqlite");
    const Scene::Result imported = scene.Cli({"fleet", "import-csv", table, "--db", other});
    EXPECT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_EQ(scene.Cli({"fleet", "export-csv", "--db", other}).out, csv);

    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(csv.substr(0, csv.find('\n') + 1) +
                                         "Рынок,port,COM5,,,,,2,,,,\r\n"
                                         "Вокзал,listen,,,,4001,,300,,,,\r\n"));
    file.close();
    const Scene::Result refused = Fleet(scene, {"import-csv", table});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("Строка 3: "), std::string::npos) << refused.err;
    EXPECT_EQ(Fleet(scene, {"list", "--csv"}).out, list.out);

    // ZQ_FLEET_DB stands in for --db.
    qputenv("ZQ_FLEET_DB", QByteArray::fromStdString(other));
    const Scene::Result fromEnvironment = scene.Cli({"fleet", "export-csv"});
    qunsetenv("ZQ_FLEET_DB");
    EXPECT_EQ(fromEnvironment.out, csv);
}

// Yesterday's read, then today's whole read, imported in either order:
// the history gives back today's file byte for byte; a file of another
// device is refused naming both numbers, and nothing of it is stored.
TEST(FleetEndToEnd, ImportedReadsGiveBackTheFileOfAWholeRead) {
    Scene scene;
    const std::vector<std::string> device = {"--baud",   "0",    "--latency", "0",  "--seed", "5",
                                             "--serial", "4711", "--hour",    "60", "--day",  "10",
                                             "--month",  "4",    "--journal", "20"};
    auto at = [&](const char* clock, const char* later) {
        std::vector<std::string> args = device;
        args.insert(args.end(), {"--clock", clock, "--later", later});
        return args;
    };
    const std::string yesterday = scene.Path("yesterday.arch");
    const std::string today = scene.Path("today.arch");
    scene.StartSim(at("2024-06-19T12:00:00", "30"));
    ASSERT_EQ(scene.Cli({"read", "--port", "COM7", "--out", yesterday}).exitCode, 0);
    scene.StopSim();
    scene.StartSim(at("2024-06-20T12:00:00", "31"));
    ASSERT_EQ(scene.Cli({"read", "--port", "COM7", "--out", today}).exitCode, 0);
    scene.StopSim();

    const struct {
        const char* meter;
        std::vector<std::string> files;
    } orders[] = {{"OlderFirst", {yesterday, today, yesterday}},
                  {"NewerFirst", {today, yesterday}}};
    for (const auto& order : orders) {
        SCOPED_TRACE(order.meter);
        ASSERT_EQ(Fleet(scene, {"add", order.meter, "--port", "COM7"}).exitCode, 0);
        std::vector<std::string> args = {"import", order.meter};
        args.insert(args.end(), order.files.begin(), order.files.end());
        const Scene::Result imported = Fleet(scene, args);
        EXPECT_EQ(imported.exitCode, 0) << imported.err;
        const std::string history = scene.Path(std::string(order.meter) + ".arch");
        const Scene::Result saved = Fleet(scene, {"history", order.meter, "--out", history});
        ASSERT_EQ(saved.exitCode, 0) << saved.err;
        EXPECT_EQ(FileBytes(history), FileBytes(today));
    }
    // The same file again stores nothing.
    EXPECT_NE(Fleet(scene, {"import", "NewerFirst", today})
                  .out.find("stored 0 hourly, 0 daily, 0 monthly, 0 journal records"),
              std::string::npos);

    const std::string before = Counts(scene, "NewerFirst");
    const std::string other = scene.Path("other.arch");
    WriteArchiveFile(other, HourlyDocument(4712, 30, {2024, 8, 1, 0, 0, 0}));
    const Scene::Result refused = Fleet(scene, {"import", "NewerFirst", other});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("№ 000004712"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("№ 000004711"), std::string::npos) << refused.err;
    EXPECT_EQ(Counts(scene, "NewerFirst"), before);
}

// Eight files of 20000 hourly records each, older file by older file, and
// zqcli killed (SIGKILL) as soon as it has stored the first: the database
// opens, holds every file it stored whole and nothing of the one it was in;
// the import run again completes the history, of which a file keeps the
// newest 65535 records, saying so.
TEST(FleetEndToEnd, ImportKilledLeavesEachFileWholeOrAbsent) {
    Scene scene;
    constexpr int kFiles = 8;
    constexpr int kRecords = 20000;
    ASSERT_EQ(Fleet(scene, {"add", "M", "--port", "COM7"}).exitCode, 0);
    std::vector<std::string> args = {"fleet", "import", "M"};
    ZQValve all = HourlyDocument(4711, kFiles * kRecords, {2024, 8, 1, 0, 0, 0});
    for (int i = 0; i < kFiles; ++i) {
        ZQValve part = all;
        part.HourArchive.assign(all.HourArchive.begin() + i * kRecords,
                                all.HourArchive.begin() + (i + 1) * kRecords);
        args.push_back(scene.Path("part" + std::to_string(i) + ".arch"));
        WriteArchiveFile(args.back(), part);
    }
    args.insert(args.end(), {"--db", scene.Path("fleet.sqlite")});

    const std::unique_ptr<QProcess> cli = scene.StartCli(args);
    // The first file's line comes once it is stored.
    cli->setReadChannel(QProcess::StandardOutput);
    ASSERT_TRUE(cli->waitForReadyRead(60000));
    ::kill(static_cast<pid_t>(cli->processId()), SIGKILL);
    cli->waitForFinished(10000);

    const std::string held = Counts(scene, "M");
    const int hourly = std::stoi(held.substr(0, held.find(',')));
    EXPECT_EQ(hourly % kRecords, 0) << held;
    EXPECT_GE(hourly, kRecords);
    std::cout << "killed after " << hourly / kRecords << " of " << kFiles << " files\n";

    const Scene::Result again = scene.Cli(args, 300000);
    EXPECT_EQ(again.exitCode, 0) << again.err;
    const std::string history = scene.Path("history.arch");
    const Scene::Result saved = Fleet(scene, {"history", "M", "--out", history});
    EXPECT_EQ(saved.exitCode, 0);
    EXPECT_NE(saved.err.find("the oldest " + std::to_string(kFiles * kRecords - 65535) + " hourly"),
              std::string::npos)
        << saved.err;
    ZQValve read;
    ReadArchiveFile(history, read);
    all.HourArchive.resize(65535);
    EXPECT_EQ(read.HourArchive, all.HourArchive);
}

}  // namespace

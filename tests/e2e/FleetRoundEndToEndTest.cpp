// zqcli fleet round against simulated meters, on an SQLite file and on a
// PostgreSQL database (when run under pg_virtualenv): each meter's history
// is the file a plain read of it gives, byte for byte; a dead endpoint fails
// alone; a round killed mid-way and the next one leave no record twice; an
// imported file and a round make one history; another device at a meter's
// place fails it and stores nothing; collectors share a round.
#include "Processes.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QProcess>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <csignal>

namespace {

ZQ_PRINT_CASES_BY_NAME

// One device of the tests' meters; every read of it gives the same bytes.
std::vector<std::string> Device(std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"--baud",
                                     "0",
                                     "--latency",
                                     "2",
                                     "--clock",
                                     "2026-03-10T14:30:00",
                                     "--frozen-clock",
                                     "--hour",
                                     "100",
                                     "--day",
                                     "20",
                                     "--month",
                                     "5",
                                     "--journal",
                                     "30"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

class FleetRound : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (std::string(GetParam()) == "SQLite") {
            db = scene.Path("fleet.sqlite");
            return;
        }
        if (qEnvironmentVariableIsEmpty("PGHOST")) {
            GTEST_SKIP() << "PostgreSQL: run under pg_virtualenv (the ctest entry does)";
        }
        // A database of its own for each test.
        const std::string name = "zq_round_" + std::to_string(getpid()) + "_" +
                                 testing::UnitTest::GetInstance()->current_test_info()->name();
        std::string clean;
        for (char c : name) {
            clean += std::isalnum(static_cast<unsigned char>(c))
                         ? static_cast<char>(std::tolower(c))
                         : '_';
        }
        ASSERT_EQ(QProcess::execute("createdb", {QString::fromStdString(clean)}), 0);
        db = "postgresql:///" + clean;
    }

    Scene::Result Fleet(std::vector<std::string> args, int stopAfterMs = 0) {
        args.insert(args.begin(), "fleet");
        args.insert(args.end(), {"--db", db});
        return scene.Cli(args, 120000, stopAfterMs);
    }
    // What a plain read of the device gives, as a file.
    QByteArray PlainRead(const std::vector<std::string>& connection) {
        std::vector<std::string> args = {"read", "--out", scene.Path("plain.arch")};
        args.insert(args.end(), connection.begin(), connection.end());
        const Scene::Result r = scene.Cli(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return FileBytes(scene.Path("plain.arch"));
    }
    QByteArray History(const std::string& meter) {
        const Scene::Result r = Fleet({"history", meter, "--out", scene.Path("history.arch")});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return FileBytes(scene.Path("history.arch"));
    }

    Scene scene;
    std::string db;
};

// Five meters: three behind one serial line (addresses 1, 2, 3), one over
// the network, one dead. The round fails the dead one alone; every other
// history is its plain read's file; the next round adds nothing.
TEST_P(FleetRound, HistoriesAreThePlainReads) {
    scene.StartSim(Device({"--address", "1,2,3"}));
    Scene network;
    const std::string tcp =
        network.StartNetSim(Device({"--seed", "9", "--tcp-listen", "127.0.0.1:0"}));
    RefusingPort dead;
    for (const std::vector<std::string>& add :
         {std::vector<std::string>{"add", "a1", "--port", "COM7", "--address", "1"},
          {"add", "a2", "--port", "COM7", "--address", "2"},
          {"add", "a3", "--port", "COM7", "--address", "3"},
          {"add", "net", "--tcp", tcp},
          {"add", "dead", "--tcp", dead.Address()}}) {
        ASSERT_EQ(Fleet(add).exitCode, 0);
    }
    const Scene::Result first = Fleet({"round", "--parallel", "4"});
    EXPECT_EQ(first.exitCode, 1) << first.err;
    EXPECT_NE(first.err.find("not read: dead: Соединение не установлено"), std::string::npos)
        << first.err;
    EXPECT_NE(first.out.find("round: 5 meters, 4 read, 1 failed"), std::string::npos) << first.out;
    for (const char* address : {"1", "2", "3"}) {
        SCOPED_TRACE(address);
        EXPECT_EQ(History(std::string("a") + address),
                  PlainRead({"--port", "COM7", "--address", address}));
    }
    EXPECT_EQ(History("net"), PlainRead({"--tcp", tcp}));

    const Scene::Result second = Fleet({"round", "a1", "a2", "a3", "net", "--csv"});
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_NE(second.out.find("a2,read,0,0,0,0,"), std::string::npos) << second.out;
    EXPECT_EQ(History("a2"), PlainRead({"--port", "COM7", "--address", "2"}));
}

// A round killed at a moment of its own (SIGKILL, nothing can tidy up),
// then another: the histories are whole, no record twice.
TEST_P(FleetRound, KilledRoundAndTheNextLeaveNoRecordTwice) {
    // At 19200 baud a whole read of a meter takes about a second.
    scene.StartSim(Device({"--baud", "19200", "--address", "1,2,3,4"}));
    for (const char* address : {"1", "2", "3", "4"}) {
        ASSERT_EQ(Fleet({"add", std::string("m") + address, "--port", "COM7", "--address", address})
                      .exitCode,
                  0);
    }
    const std::unique_ptr<QProcess> killed = scene.StartCli({"fleet", "round", "--db", db});
    QThread::msleep(2200);
    ::kill(static_cast<pid_t>(killed->processId()), SIGKILL);
    killed->waitForFinished(5000);
    const Scene::Result next = Fleet({"round"});
    EXPECT_EQ(next.exitCode, 0) << next.err;
    for (const char* address : {"1", "2", "3", "4"}) {
        SCOPED_TRACE(address);
        EXPECT_EQ(History(std::string("m") + address),
                  PlainRead({"--port", "COM7", "--address", address}));
    }
}

// Last month's file of a meter imported, then a round of the same device a
// month on: one history, the file of a whole read of it (the device still
// holds every record).
TEST_P(FleetRound, ImportedFileAndARoundMakeOneHistory) {
    // The device of 10 February, 30 days on; then the same device 60 days on.
    scene.StartSim(Device({"--later", "30"}));
    ASSERT_EQ(scene.Cli({"read", "--port", "COM7", "--out", scene.Path("march.arch")}).exitCode, 0);
    scene.StopSim();
    std::vector<std::string> monthOn = Device({"--later", "60"});
    *std::find(monthOn.begin(), monthOn.end(), "2026-03-10T14:30:00") = "2026-04-09T14:30:00";
    scene.StartSim(monthOn);
    ASSERT_EQ(Fleet({"add", "m", "--port", "COM7"}).exitCode, 0);
    ASSERT_EQ(Fleet({"import", "m", scene.Path("march.arch")}).exitCode, 0);
    const Scene::Result round = Fleet({"round"});
    EXPECT_EQ(round.exitCode, 0) << round.err;
    EXPECT_EQ(History("m"), PlainRead({"--port", "COM7"}));
}

// The meter's device replaced by another one (another serial number) at
// its place: the meter fails naming both numbers, nothing is stored.
TEST_P(FleetRound, AnotherDeviceAtTheMetersPlaceStoresNothing) {
    scene.StartSim(Device({"--serial", "4711"}));
    ASSERT_EQ(Fleet({"add", "m", "--port", "COM7"}).exitCode, 0);
    ASSERT_EQ(Fleet({"round"}).exitCode, 0);
    const QByteArray before = History("m");
    scene.StopSim();
    scene.StartSim(Device({"--serial", "4712", "--later", "2"}));
    const Scene::Result round = Fleet({"round"});
    EXPECT_EQ(round.exitCode, 1);
    EXPECT_NE(round.out.find("000004711"), std::string::npos) << round.out;
    EXPECT_NE(round.out.find("000004712"), std::string::npos) << round.out;
    EXPECT_EQ(History("m"), before);
}

// Two rounds at once on one database: a meter the first one reads is
// skipped by the second, which says so; each meter is read once.
TEST_P(FleetRound, ASecondRoundSkipsTheMetersTheFirstReads) {
    // At 19200 baud a whole read takes about a second.
    scene.StartSim(Device({"--baud", "19200"}));
    ASSERT_EQ(Fleet({"add", "m", "--port", "COM7"}).exitCode, 0);
    const std::unique_ptr<QProcess> first = scene.StartCli({"fleet", "round", "--db", db});
    QThread::msleep(700);
    const Scene::Result second = Fleet({"round"});
    ASSERT_TRUE(first->waitForFinished(60000));
    EXPECT_EQ(first->exitCode(), 0) << first->readAllStandardError().toStdString();
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_NE(second.out.find("m  skipped  читается другим опросом"), std::string::npos)
        << second.out;
    EXPECT_EQ(History("m"), PlainRead({"--port", "COM7"}));
}

// Two collectors share a round (--skip-fresh) over meters on the network
// while a reader lists the register, and one collector is killed mid-way
// (SIGKILL): every meter is read once, by one of them (the one the dead
// collector held by the other, at its end); a third collector finds every
// meter read lately; every history is whole.
TEST_P(FleetRound, CollectorsShareARoundAndOneKilledLeavesNoneUnread) {
    // About 1.5 s a meter: a dozen requests, each answered after 100 ms.
    const std::vector<std::string> lines = scene.StartFleet(
        Device({"--fleet", "4", "--tcp-listen", "127.0.0.1:0", "--answer-delay", "100"}), 4);
    ASSERT_EQ(lines.size(), 4u);
    std::vector<std::string> addresses;
    for (size_t i = 0; i < lines.size(); ++i) {
        addresses.push_back(lines[i].substr(0, lines[i].find(' ')));
        ASSERT_EQ(Fleet({"add", "m" + std::to_string(i + 1), "--tcp", addresses.back()}).exitCode,
                  0);
    }
    const auto collector = [&](const char* name) {
        return scene.StartCli({"fleet", "round", "--db", db, "--collector", name, "--skip-fresh",
                               "60", "--parallel", "1"});
    };
    const std::unique_ptr<QProcess> killed = collector("a");
    const std::unique_ptr<QProcess> other = collector("b");
    QThread::msleep(1000);
    const Scene::Result listed = Fleet({"list", "--csv"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    // The first collector has read a meter by now and reads its second.
    QThread::msleep(2500);
    ::kill(static_cast<pid_t>(killed->processId()), SIGKILL);
    killed->waitForFinished(5000);
    const std::string readByA = killed->readAllStandardOutput().toStdString();
    const Scene::Result b = Scene::Finish(*other, 60000);
    EXPECT_EQ(b.exitCode, 0) << b.err;
    for (size_t i = 0; i < addresses.size(); ++i) {
        const std::string meter = "m" + std::to_string(i + 1);
        SCOPED_TRACE(meter);
        const bool byA = readByA.find(meter + "  read") != std::string::npos;
        const bool byB = b.out.find(meter + "  read") != std::string::npos;
        EXPECT_NE(byA, byB) << "a:\n" << readByA << "b:\n" << b.out;
        if (byA) {
            EXPECT_NE(b.out.find(meter + "  skipped  прочитан в "), std::string::npos) << b.out;
        }
    }
    const Scene::Result third = Fleet({"round", "--collector", "c", "--skip-fresh", "60"});
    EXPECT_EQ(third.exitCode, 0) << third.err;
    EXPECT_NE(third.out.find("round: 4 meters, 0 read, 0 failed, 4 skipped"), std::string::npos)
        << third.out;
    // Each history whole, each record once (the plain reads' equality is
    // the other cases' matter).
    const std::string list = Fleet({"list", "--csv"}).out;
    for (size_t i = 0; i < addresses.size(); ++i) {
        const std::string meter = "\r\nm" + std::to_string(i + 1) + ",";
        const size_t at = list.find(meter);
        ASSERT_NE(at, std::string::npos) << list;
        const std::string line = list.substr(at + 2, list.find("\r\n", at + 2) - at - 2);
        EXPECT_EQ(line.substr(line.size() - 12), ",100,20,5,30") << line;
    }
}

// A meter whose clock is far off: --sync-clock sets it (unless the hour is
// about to turn or has just turned), and the drift is told either way.
TEST_P(FleetRound, SyncClockSetsAClockFarOff) {
    // The device's clock stands in March 2026, far from the computer's.
    scene.StartSim(Device());
    ASSERT_EQ(Fleet({"add", "m", "--port", "COM7"}).exitCode, 0);
    const Scene::Result round = Fleet({"round", "--sync-clock", "60", "--csv"});
    EXPECT_EQ(round.exitCode, 0) << round.err;
    const bool set = round.out.find(",1,Чтение параметров выполнено") != std::string::npos;
    const bool nearAnHour = round.out.find("близко к началу часа") != std::string::npos;
    EXPECT_TRUE(set != nearAnHour) << round.out;
    if (set) {
        // The device now tells the computer's date.
        const Scene::Result shown = scene.Cli(
            {"read", "--port", "COM7", "--archives", "none", "--out", scene.Path("now.arch")});
        ASSERT_EQ(shown.exitCode, 0) << shown.err;
        const Scene::Result current =
            scene.Cli({"show", scene.Path("now.arch"), "--section", "setup"});
        const QString today = QDate::currentDate().toString("dd/MM/yyyy");
        EXPECT_NE(current.out.find(today.toStdString()), std::string::npos) << current.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, FleetRound, testing::Values("SQLite", "Postgres"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

}  // namespace

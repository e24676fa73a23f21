// The write commands against the simulator, each checked by a read after it.
#include "ArchiveFile.h"
#include "Processes.h"
#include "TaskClock.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

ZQValve ReadBack(Scene& scene, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"read", "--port", "COM7", "--out", scene.Path("after.arch")};
    args.insert(args.end(), extra.begin(), extra.end());
    const Scene::Result r = scene.Cli(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ZQValve valve;
    ReadArchiveFile(scene.Path("after.arch"), valve);
    return valve;
}

const std::vector<std::string> kDevice = {"--baud", "0", "--latency", "0", "--hour",    "8",
                                          "--day",  "3", "--month",   "2", "--journal", "4"};

TEST(WriteEndToEnd, SetTimeMovesTheDeviceClock) {
    Scene scene;
    std::vector<std::string> args = kDevice;
    args.insert(args.end(), {"--clock", "2030-06-15T10:00:00"});
    scene.StartSim(args);
    ZQValve before = ReadBack(scene);
    int y, m, d;
    DecodeDate(before.Current.Date, y, m, d);
    ASSERT_EQ(y, 2030);

    const Scene::Result r = scene.Cli({"set-time", "--port", "COM7"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.LastStatus(), "Установка текущего времени выполнена");
    const ZQValve after = ReadBack(scene);
    const double now = LocalNow();
    EXPECT_LT(std::fabs(after.Current.Date + after.Current.Time - now), 60.0 / 86400);
}

TEST(WriteEndToEnd, ClearArchiveEmptiesTheRings) {
    Scene scene;
    scene.StartSim(kDevice);
    EXPECT_EQ(scene.Cli({"clear-archive", "--port", "COM7"}).exitCode, 2);  // needs --yes
    const Scene::Result r = scene.Cli({"clear-archive", "--yes", "--port", "COM7"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.LastStatus(), "Сброс архива будет выполнен");
    const ZQValve after = ReadBack(scene);
    EXPECT_TRUE(after.HourArchive.empty());
    EXPECT_TRUE(after.DayArchive.empty());
    EXPECT_TRUE(after.MonthArchive.empty());
    EXPECT_TRUE(after.Journal.empty());
}

TEST(WriteEndToEnd, NewNetworkAddressIsAnswered) {
    Scene scene;
    scene.StartSim(kDevice);
    const Scene::Result r = scene.Cli({"write-setup", "--net-address", "7", "--port", "COM7"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.LastStatus(), "Запись параметров выполнена");
    const ZQValve after = ReadBack(scene, {"--address", "7"});
    EXPECT_EQ(after.Setup.NetAddress, 7);
    // The old address 1 is not answered any more.
    const Scene::Result old = scene.Cli({"read", "--port", "COM7", "--address", "1", "--archives",
                                         "none", "--out", scene.Path("old.arch")},
                                        60000);
    EXPECT_EQ(old.exitCode, 1);
    EXPECT_EQ(old.LastStatus(), "Нет ответа от прибора");
}

TEST(WriteEndToEnd, UnknownVersionIsNeverWritten) {
    Scene scene;
    std::vector<std::string> args = kDevice;
    args.insert(args.end(), {"--device-version", "2"});
    scene.StartSim(args);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"write-setup", "--net-address", "9"},
          std::vector<std::string>{"set-time"},
          std::vector<std::string>{"clear-archive", "--yes"}}) {
        std::vector<std::string> cli = command;
        cli.insert(cli.end(), {"--port", "COM7"});
        const Scene::Result r = scene.Cli(cli);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.LastStatus(), "Неизвестная версия прибора");
    }
    const std::vector<Exchange> exchanges = scene.LoggedExchanges();
    EXPECT_FALSE(exchanges.empty());
    for (const Exchange& e : exchanges) {
        ASSERT_GE(e.request.size(), 2u);
        EXPECT_NE(e.request[1], 16);  // nothing was written
    }
}

// A write whose echo names another block is not confirmed: each write
// command ends in an error instead of its success text.
TEST(WriteEndToEnd, WrongEchoIsNoSuccess) {
    Scene scene;
    std::vector<std::string> args = kDevice;
    args.insert(args.end(), {"--fault", "echo"});
    scene.StartSim(args);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"write-setup", "--net-address", "1"},
          std::vector<std::string>{"set-time"},
          std::vector<std::string>{"clear-archive", "--yes"}}) {
        SCOPED_TRACE(command[0]);
        std::vector<std::string> cli = command;
        cli.insert(cli.end(), {"--port", "COM7"});
        const Scene::Result r = scene.Cli(cli);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(r.LastStatus(), "Неверное количество данных в ответе от прибора") << r.err;
    }
}

}  // namespace

// zqcli through the simulated dial-up modem.
#include "ArchiveFile.h"
#include "Processes.h"

#include <gtest/gtest.h>

namespace {

const std::vector<std::string> kModem = {
    "--modem",      "--answer", "5551234", "--busy",  "5550000",   "--no-answer", "5559999",
    "--ring-delay", "200",      "--baud",  "0",       "--latency", "0",           "--hour",
    "20",           "--day",    "5",       "--month", "3",         "--journal",   "10"};

class ModemEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(scene.Cli({"modem-add", "Sim", "--port", "COM7"}).exitCode, 0);
    }
    Scene scene;
};

TEST_F(ModemEndToEnd, ReadThroughDialledCall) {
    scene.StartSim(kModem);
    const Scene::Result list = scene.Cli({"modems"});
    EXPECT_EQ(list.out, "Sim\n");
    const Scene::Result r = scene.Cli({"read", "--modem", "Sim", "--phone", "555-12-34", "--out",
                                       scene.Path("m.arch"), "--verbose"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Набор номера"), std::string::npos);
    EXPECT_NE(r.err.find("Соединение установлено"), std::string::npos);
    EXPECT_NE(r.err.find("Вызов завершен"), std::string::npos);
    ZQValve valve;
    ReadArchiveFile(scene.Path("m.arch"), valve);
    EXPECT_EQ(valve.HourArchive.size(), 20u);
    EXPECT_EQ(valve.Journal.size(), 10u);
    // A second call on the same line after the hang-up.
    EXPECT_EQ(scene
                  .Cli({"read", "--modem", "Sim", "--phone", "5551234", "--archives", "none",
                        "--out", scene.Path("m2.arch")})
                  .exitCode,
              0);
}

TEST_F(ModemEndToEnd, BusyAndUnansweredCallsAreNotEstablished) {
    std::vector<std::string> args = kModem;
    args.insert(args.end(), {"--no-answer-after", "1"});
    scene.StartSim(args);
    for (const char* number : {"5550000", "5559999"}) {
        const Scene::Result r =
            scene.Cli({"read", "--modem", "Sim", "--phone", number, "--out", scene.Path("x.arch")});
        EXPECT_EQ(r.exitCode, 1) << number;
        EXPECT_EQ(r.LastStatus(), "Соединение не установлено") << number;
    }
}

TEST_F(ModemEndToEnd, CarrierDropMidReadBreaksTheConnection) {
    std::vector<std::string> args = kModem;
    args.insert(args.end(), {"--drop-after-requests", "4"});
    scene.StartSim(args);
    const Scene::Result r =
        scene.Cli({"read", "--modem", "Sim", "--phone", "5551234", "--out", scene.Path("x.arch")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.LastStatus(), "Соединение разорвано");
}

TEST_F(ModemEndToEnd, StopWhileDiallingHangsUpAndFails) {
    scene.StartSim(kModem);
    const Scene::Result r = scene.Cli({"read", "--modem", "Sim", "--phone", "5559999", "--verbose",
                                       "--out", scene.Path("x.arch")},
                                      20000, 1500);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Отмена обмена"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Вызов завершен"), std::string::npos) << r.err;
    // The line is free again: the next call gets through.
    EXPECT_EQ(scene
                  .Cli({"read", "--modem", "Sim", "--phone", "5551234", "--archives", "none",
                        "--out", scene.Path("y.arch")})
                  .exitCode,
              0);
}

TEST_F(ModemEndToEnd, MissingNumberWaitsUntilStopped) {
    scene.StartSim(kModem);
    const Scene::Result r = scene.Cli({"read", "--modem", "Sim", "--phone", "", "--timeout", "1",
                                       "--verbose", "--out", scene.Path("x.arch")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Нет номера телефона"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Устанавливается соединение"), std::string::npos) << r.err;
    const Scene::Result unknown =
        scene.Cli({"read", "--modem", "sim", "--phone", "5551234", "--timeout", "1", "--verbose",
                   "--out", scene.Path("x.arch")});
    EXPECT_EQ(unknown.exitCode, 1);
    // One after the other, each with its time in front.
    const size_t failed = unknown.err.find("  Ошибка открытия линии\n");
    ASSERT_NE(failed, std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("  Вызов завершен\n", failed), std::string::npos) << unknown.err;
}

}  // namespace

// Finding the device with zqcli: the port list names the simulated device's
// alias with where it leads, and a scan finds a device whose address is not
// the stored one, with its serial number and version, and nothing where
// nobody answers; a device that answers late is found too.
#include "Processes.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

TEST(FindEndToEnd, PortsListsTheAliasAndScanFindsTheDevice) {
    Scene scene;
    scene.StartSim({"--address", "5", "--serial", "4242", "--device-version", "0"});

    const Scene::Result ports = scene.Cli({"ports", "--csv"});
    EXPECT_EQ(ports.exitCode, 0) << ports.err;
    EXPECT_TRUE(
        std::regex_search(ports.out, std::regex("\r\nCOM7,/dev/pts/[0-9]+,псевдотерминал,\r\n")))
        << ports.out;

    const Scene::Result found = scene.Cli(
        {"scan", "--port", "COM7", "--from", "3", "--to", "6", "--address", "9", "--csv"});
    EXPECT_EQ(found.exitCode, 0) << found.err;
    EXPECT_EQ(found.out, "Адрес,Заводской номер,Версия,Прибор\r\n5,000004242,0,ZQ\r\n");
    EXPECT_EQ(found.LastStatus(), "Поиск завершён, найдено приборов: 1");

    const Scene::Result none = scene.Cli({"scan", "--port", "COM7", "--to", "4"});
    EXPECT_EQ(none.exitCode, 0) << none.err;
    EXPECT_EQ(none.out, "Адрес  Заводской номер  Версия  Прибор\n");
    EXPECT_EQ(none.LastStatus(), "Поиск завершён, прибор не найден");

    const Scene::Result reversed = scene.Cli({"scan", "--from", "7", "--to", "6"});
    EXPECT_EQ(reversed.exitCode, 2);
}

// A device that answers 80 ms late at 19200 baud is inside the 100 ms a
// search gives each address, wherever the task's 100 ms timer stands when its
// address is asked: each silent address before it (about 0.13 s) moves that
// phase.
TEST(FindEndToEnd, ALateDeviceIsFoundWhateverThePhaseOfTheTimer) {
    Scene scene;
    for (int address = 2; address <= 6; ++address) {
        const std::string a = std::to_string(address);
        SCOPED_TRACE("device at " + a);
        scene.StartSim({"--baud", "19200", "--latency", "80", "--address", a, "--serial", "4242"});
        const Scene::Result r =
            scene.Cli({"scan", "--port", "COM7", "--from", "1", "--to", a, "--csv"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "Адрес,Заводской номер,Версия,Прибор\r\n" + a + ",000004242,1,ZQ\r\n")
            << r.err;
        scene.StopSim();
    }
}

}  // namespace

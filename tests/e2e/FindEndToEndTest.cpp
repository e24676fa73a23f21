// Finding the device with zqcli: the port list names the simulated device's
// alias with where it leads, and a scan finds a device whose address is not
// the stored one, with its serial number and version, and nothing where
// nobody answers.
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

}  // namespace

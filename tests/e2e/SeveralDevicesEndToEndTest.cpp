// Many devices from one simulator: two devices on one line, each read by
// its address, and a fleet on several network ports, each read by its
// address, with dead ones among them.
#include "ArchiveFile.h"
#include "Processes.h"

#include <gtest/gtest.h>

#include <sstream>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The same devices every time: same records, a clock that stands still.
const std::vector<std::string> kDevices = {
    "--baud", "0",  "--latency", "0", "--seed",    "21", "--clock", "2024-06-01T12:00:00",
    "--hour", "40", "--day",     "9", "--journal", "20", "--wrap",  "--frozen-clock"};

std::vector<std::string> With(std::vector<std::string> more) {
    std::vector<std::string> args = kDevices;
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// zqcli read with `connection` (the port and address, or the network
// address) to `out`; the file read back.
ZQValve Read(Scene& scene, std::vector<std::string> connection, const std::string& out) {
    std::vector<std::string> args = {"read", "--out", out};
    args.insert(args.end(), connection.begin(), connection.end());
    const Scene::Result r = scene.Cli(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ZQValve valve;
    ReadArchiveFile(out, valve);
    return valve;
}

TEST(SeveralDevicesEndToEnd, EachDeviceOfOneLineIsReadAtItsAddressAsItsOwn) {
    Scene scene;
    scene.StartSim(With({"--address", "9,3"}));
    const std::vector<SimDumpDevice> dumped = scene.DumpedDevices();
    ASSERT_EQ(dumped.size(), 2u);
    EXPECT_EQ(dumped[0].address, 9);
    EXPECT_EQ(dumped[1].address, 3);
    EXPECT_EQ(dumped[1].serial, dumped[0].serial + 1) << "the serial numbers follow the first";
    EXPECT_NE(dumped[0].rings.at("hour"), dumped[1].rings.at("hour")) << "contents of its own";
    for (const SimDumpDevice& device : dumped) {
        SCOPED_TRACE(device.address);
        const ZQValve valve =
            Read(scene, {"--port", "COM7", "--address", std::to_string(device.address)},
                 scene.Path(std::to_string(device.address) + ".arch"));
        EXPECT_EQ(valve.Current.Serial, device.serial);
        EXPECT_EQ(AsBytes(valve.HourArchive), Stored(device.rings.at("hour")));
        EXPECT_EQ(AsBytes(valve.DayArchive), Stored(device.rings.at("day")));
        EXPECT_EQ(AsBytes(valve.Journal), Stored(device.rings.at("journal")));
    }

    // The second device is the one the next seed and serial number make.
    const QByteArray second = FileBytes(scene.Path("3.arch"));
    scene.StopSim();
    scene.StartSim(
        With({"--address", "3", "--seed", "22", "--serial", std::to_string(dumped[0].serial + 1)}));
    Read(scene, {"--port", "COM7", "--address", "3"}, scene.Path("alone.arch"));
    EXPECT_EQ(FileBytes(scene.Path("alone.arch")), second);
}

struct Endpoint {
    std::string address;
    uint32_t serial = 0;
    std::string state;
};

// "ADDRESS SERIAL STATE", nothing more.
Endpoint Parsed(const std::string& line) {
    Endpoint e;
    std::istringstream words(line);
    std::string more;
    words >> e.address >> e.serial >> e.state;
    EXPECT_TRUE(!words.fail() && !(words >> more)) << line;
    return e;
}

TEST(SeveralDevicesEndToEnd, AFleetPrintsItsEndpointsAndEachIsReadAsItsOwn) {
    Scene scene;
    const std::vector<std::string> lines =
        scene.StartFleet(With({"--fleet", "4", "--tcp-listen", "127.0.0.1:0", "--fleet-mute", "1",
                               "--fleet-refuse", "1"}),
                         4);
    ASSERT_EQ(lines.size(), 4u);
    std::vector<Endpoint> fleet;
    for (const std::string& line : lines) {
        fleet.push_back(Parsed(line));
        EXPECT_EQ(fleet.back().address.rfind("127.0.0.1:", 0), 0u) << line;
        EXPECT_EQ(fleet.back().serial, fleet.front().serial + fleet.size() - 1) << line;
    }
    EXPECT_EQ(fleet[0].state, "live");
    EXPECT_EQ(fleet[1].state, "live");
    EXPECT_EQ(fleet[2].state, "mute");
    EXPECT_EQ(fleet[3].state, "refuse");

    std::vector<std::vector<RecordBytes>> hours;
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(lines[k]);
        const ZQValve valve = Read(scene, {"--tcp", fleet[k].address},
                                   scene.Path("fleet" + std::to_string(k) + ".arch"));
        EXPECT_EQ(valve.Current.Serial, fleet[k].serial);
        EXPECT_EQ(valve.HourArchive.size(), 40u);
        hours.push_back(AsBytes(valve.HourArchive));
    }
    EXPECT_NE(hours[0], hours[1]) << "contents of its own";

    // The mute device takes the connection and the request, and stays silent.
    const int mute = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(
        static_cast<uint16_t>(std::stoi(fleet[2].address.substr(fleet[2].address.rfind(':') + 1))));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(mute, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const uint8_t request[] = {0x01, 0x11, 0xC0, 0x2C};
    EXPECT_EQ(::send(mute, request, sizeof request, MSG_NOSIGNAL), 4);
    pollfd answer{mute, POLLIN, 0};
    EXPECT_EQ(::poll(&answer, 1, 500), 0) << "an answer came";
    ::close(mute);

    const Scene::Result refused = scene.Cli(
        {"read", "--tcp", fleet[3].address, "--out", scene.Path("refused.arch"), "--verbose"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.LastStatus(), "Соединение не установлено");
    EXPECT_NE(refused.err.find("Connection refused"), std::string::npos) << refused.err;
}

}  // namespace

// Many devices from one simulator: two devices on one line, each read by
// its address.
#include "ArchiveFile.h"
#include "Processes.h"

#include <gtest/gtest.h>

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

}  // namespace

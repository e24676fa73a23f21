#include "SimOptions.h"

#include <gtest/gtest.h>

using namespace zqsim;

namespace {

ParseOutcome Parse(std::vector<std::string> args, SimOptions& o, std::string& error) {
    return ParseSimOptions(args, o, error);
}

TEST(SimOptions, HelpDocumentsEveryOption) {
    const std::string usage = SimUsage();
    for (std::string name : SimOptionNames()) {
        // Per-ring options are documented once as --KIND, --KIND-ring, --KIND-oldest.
        for (const char* kind : {"hour", "day", "month", "journal"}) {
            const std::string prefix = std::string("--") + kind;
            if (name == prefix || name.rfind(prefix + "-", 0) == 0) {
                name = "--KIND" + name.substr(prefix.size());
            }
        }
        EXPECT_NE(usage.find("  " + name + " "), std::string::npos) << name;
    }
    SimOptions o;
    std::string error;
    EXPECT_EQ(Parse({"--baud", "0", "--help"}, o, error), ParseOutcome::Help);
}

TEST(SimOptions, ReadsLineDeviceContentFaultAndModemSettings) {
    SimOptions o;
    std::string error;
    ASSERT_EQ(Parse({"--baud",
                     "0",
                     "--address=17",
                     "--device-version",
                     "2",
                     "--hour",
                     "5",
                     "--hour-ring",
                     "8",
                     "--hour-oldest",
                     "6",
                     "--clock",
                     "2026-12-08T14:05:09",
                     "--fault",
                     "drop:n=1",
                     "--fault",
                     "crc:p=0.5",
                     "--modem",
                     "--answer",
                     "123",
                     "--busy",
                     "555",
                     "--drop-after-seconds",
                     "2.5",
                     "--link",
                     "/tmp/x/COM7"},
                    o, error),
              ParseOutcome::Run)
        << error;
    EXPECT_EQ(o.baud, 0);
    EXPECT_EQ(o.deviceSettings.address, 17);
    EXPECT_EQ(o.deviceSettings.version, 2);
    EXPECT_EQ(o.deviceSettings.clock, (CivilTime{2026, 12, 8, 14, 5, 9}));
    EXPECT_EQ(o.content.rings[kHourRing].records, 5);
    EXPECT_EQ(o.content.rings[kHourRing].size, 8);
    EXPECT_EQ(o.content.rings[kHourRing].oldest, 6);
    EXPECT_EQ(o.content.rings[kDayRing].records, 62);  // default
    ASSERT_EQ(o.faults.size(), 2u);
    EXPECT_EQ(o.faults[1].kind, FaultKind::Crc);
    EXPECT_TRUE(o.modem);
    EXPECT_EQ(o.modemSettings.answer, (std::vector<std::string>{"123"}));
    EXPECT_EQ(o.modemSettings.dropAfterMs, 2500);
    EXPECT_EQ(o.modemSettings.connectRate, 19200) << "baud 0 still connects at 19200";
    EXPECT_EQ(o.link, "/tmp/x/COM7");
}

struct NetRow {
    const char* name;
    std::vector<std::string> args;
    NetSettings::Mode mode;
    const char* host;
    int port;
};

class SimOptionsNet : public testing::TestWithParam<NetRow> {};

TEST_P(SimOptionsNet, ReadsTheAddress) {
    SimOptions o;
    std::string error;
    ASSERT_EQ(ParseSimOptions(GetParam().args, o, error), ParseOutcome::Run) << error;
    EXPECT_EQ(o.net.mode, GetParam().mode);
    EXPECT_EQ(o.net.host, GetParam().host);
    EXPECT_EQ(o.net.port, GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, SimOptionsNet,
    testing::Values(
        NetRow{"PortAlone", {"--tcp-listen", "0"}, NetSettings::Mode::Listen, "127.0.0.1", 0},
        NetRow{"AnyIPv4", {"--tcp-listen=0.0.0.0:502"}, NetSettings::Mode::Listen, "0.0.0.0", 502},
        NetRow{
            "IPv6Listen", {"--tcp-listen", "[::1]:65535"}, NetSettings::Mode::Listen, "::1", 65535},
        NetRow{"NameCall",
               {"--tcp-connect", "localhost:4001"},
               NetSettings::Mode::Connect,
               "localhost",
               4001},
        NetRow{"IPv6Call",
               {"--pty", "--tcp-connect", "[fe80::1]:1"},
               NetSettings::Mode::Connect,
               "fe80::1",
               1},
        NetRow{"Line", {"--baud", "0"}, NetSettings::Mode::None, "", 0}),
    [](const testing::TestParamInfo<NetRow>& info) { return std::string(info.param.name); });

TEST(SimOptions, ReadsAnswerShapingAndConnectionFaults) {
    SimOptions o;
    std::string error;
    ASSERT_EQ(Parse({"--tcp-listen", "0", "--segment", "4:250", "--answer-delay", "300", "--banner",
                     "CONNECT 9600\\r\\n\\x1", "--tcp-mute", "--tcp-drop-after", "3"},
                    o, error),
              ParseOutcome::Run)
        << error;
    EXPECT_EQ(o.segmentBytes, 4);
    EXPECT_EQ(o.segmentGapMs, 250);
    EXPECT_EQ(o.answerDelayMs, 300);
    EXPECT_EQ(o.banner, "CONNECT 9600\r\n\x01");
    EXPECT_TRUE(o.tcpMute);
    EXPECT_EQ(o.tcpDropAfter, 3);
}

TEST(SimOptions, ReadsSeveralAddressesAndAFleet) {
    SimOptions o;
    std::string error;
    ASSERT_EQ(Parse({"--address", "5,2,254"}, o, error), ParseOutcome::Run) << error;
    EXPECT_EQ(o.addresses, (std::vector<uint8_t>{5, 2, 254})) << "in the order given";
    EXPECT_EQ(o.deviceSettings.address, 5) << "the first is the line's first device";
    ASSERT_EQ(Parse({"--fleet", "4", "--tcp-listen", "127.0.0.1:65532", "--fleet-refuse", "1",
                     "--fleet-mute", "3", "--serial", "4294967292"},
                    o, error),
              ParseOutcome::Run)
        << error;
    EXPECT_EQ(o.fleet, 4);
    EXPECT_EQ(o.fleetRefuse, 1);
    EXPECT_EQ(o.fleetMute, 3);
}

TEST(SimOptions, RingSizesGrowForTheRecordsAndWrapOnRequest) {
    SimOptions o;
    std::string error;
    ASSERT_EQ(Parse({"--hour", "3000", "--wrap", "--day", "0", "--month-oldest", "3"}, o, error),
              ParseOutcome::Run)
        << error;
    EXPECT_EQ(o.content.rings[kHourRing].size, 3001);
    EXPECT_EQ(o.content.rings[kHourRing].oldest, 3001 - 1500);
    EXPECT_EQ(o.content.rings[kDayRing].oldest, 0) << "an empty ring does not wrap";
    EXPECT_EQ(o.content.rings[kMonthRing].oldest, 3) << "an explicit oldest wins";
}

TEST(SimOptions, RefusesBadInput) {
    const std::vector<std::vector<std::string>> rows = {
        {"--bogus"},
        {"--baud"},
        {"--baud", "fast"},
        {"--baud=-1"},
        {"--address", "0"},
        {"--address", "255"},
        {"--max-records", "0"},
        {"--hour", "10", "--hour-ring", "10"},
        {"--day-ring", "10", "--day-oldest", "10"},
        {"--journal-ring", "0"},
        {"--fault", "explode"},
        {"--clock", "2026-02-30T00:00:00"},
        {"--empty-slots", "1.5"},
        {"--log=yes"},
        {"--answer", "abc"},
        {"--tcp-listen", "65536"},
        {"--tcp-listen", "::1:502"},
        {"--tcp-listen", "[::1]"},
        {"--tcp-connect", "502"},
        {"--tcp-connect", "host:0"},
        {"--tcp-connect", ":502"},
        {"--tcp-listen", "0", "--tcp-connect", "host:1"},
        {"--tcp-listen", "0", "--modem"},
        {"--tcp-connect", "host:1", "--device", "/dev/ttyUSB0"},
        {"--banner", "x"},
        {"--tcp-drop-after", "1"},
        {"--tcp-listen", "0", "--banner", "bad\\q"},
        {"--tcp-listen", "0", "--banner", "end\\"},
        {"--segment", "0:10"},
        {"--segment", "4"},
        {"--address", "1,1"},
        {"--address", "1,"},
        {"--address", "1,,2"},
        {"--address", "2,255"},
        {"--serial", "4294967295", "--address", "1,2"},
        {"--fleet", "0", "--tcp-listen", "0"},
        {"--fleet", "3"},
        {"--fleet", "3", "--tcp-connect", "host:1"},
        {"--fleet", "3", "--tcp-listen", "0", "--address", "1,2"},
        {"--fleet", "3", "--tcp-listen", "0", "--dump", "/tmp/dump"},
        {"--fleet", "3", "--tcp-listen", "0", "--exit-on-hangup"},
        {"--fleet", "3", "--tcp-listen", "0", "--fleet-refuse", "2", "--fleet-mute", "2"},
        {"--fleet", "3", "--tcp-listen", "65534"},
        {"--fleet-refuse", "1"},
    };
    for (const auto& args : rows) {
        SimOptions o;
        std::string error;
        EXPECT_EQ(Parse(args, o, error), ParseOutcome::Error) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

}  // namespace

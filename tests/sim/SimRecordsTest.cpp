// Reading back what the simulated device wrote down: its log of the line and
// its dump of the rings.
#include "SimRecords.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

namespace {

ZQ_PRINT_CASES_BY_NAME

using Bytes = std::vector<uint8_t>;

// ---- the device's log ----------------------------------------------------

TEST(SimLogTest, PairsRequestsWithAnswersAndSkipsNotes) {
    const std::string log =
        "12:00:00.000 line /dev/pts/3\n"
        "12:00:00.410 <- 01 11 C0 2C\n"
        "12:00:00.420 -> 01 11 08 52 4F 52 49 00 00 01 00 aa BB\n"
        "12:00:00.500 <- 00 04 75 30 00 40 00 00\n"
        "12:00:00.501    fault: drop\n"
        "12:00:00.600 <- 01 03\n"
        "12:00:00.610 -> 01 83 04 00 00\n"
        "12:00:00.700 hang-up: carrier lost\n";
    std::vector<Exchange> exchanges;
    std::string error;
    ASSERT_TRUE(ParseSimLog(log, exchanges, error)) << error;
    ASSERT_EQ(exchanges.size(), 3u);
    EXPECT_EQ(exchanges[0].request, (Bytes{0x01, 0x11, 0xC0, 0x2C}));
    EXPECT_EQ(exchanges[0].answer.size(), 13u);
    EXPECT_EQ(exchanges[0].answer.back(), 0xBB);
    EXPECT_EQ(exchanges[0].answer[11], 0xAA);
    EXPECT_EQ(exchanges[1].request.size(), 8u);
    EXPECT_TRUE(exchanges[1].answer.empty()) << "a dropped answer leaves the request unanswered";
    EXPECT_EQ(exchanges[2].answer, (Bytes{0x01, 0x83, 0x04, 0x00, 0x00}));
}

struct BadLog {
    const char* name;
    const char* text;
    const char* errorPart;
};

class SimLogRejectTest : public testing::TestWithParam<BadLog> {};

TEST_P(SimLogRejectTest, NamesTheLine) {
    std::vector<Exchange> exchanges;
    std::string error;
    EXPECT_FALSE(ParseSimLog(GetParam().text, exchanges, error));
    EXPECT_NE(error.find(GetParam().errorPart), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Logs, SimLogRejectTest,
    testing::Values(BadLog{"NotHex", "0 <- 01 1G\n", "line 1: '1G'"},
                    BadLog{"ThreeDigits", "0 <- 01 011\n", "line 1: '011'"},
                    BadLog{"AnswerFirst", "0 line x\n0 -> 01 02\n", "line 2: an answer"},
                    BadLog{"TwoAnswers", "0 <- 01\n0 -> 02\n0 -> 03\n", "line 3: an answer"}),
    [](const testing::TestParamInfo<BadLog>& info) { return std::string(info.param.name); });

// ---- the device's dump ---------------------------------------------------

TEST(SimDumpTest, KeepsEachRingInReadOrder) {
    const std::string dump =
        "ring hour h=2047 o=0 n=2\n"
        "hour 1 0102030405060708090A0B0C0D0E0F10\n"
        "hour 0 FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\n"
        "ring day h=511 o=0 n=0\n"
        "ring journal h=1023 o=5 n=6\n"
        "journal 5 00112233445566778899aabbccddeeff\n";
    std::map<std::string, std::vector<RecordBytes>> rings;
    std::string error;
    ASSERT_TRUE(ParseSimDump(dump, rings, error)) << error;
    ASSERT_EQ(rings["hour"].size(), 2u);
    EXPECT_EQ(rings["hour"][0][0], 0x01);
    EXPECT_EQ(rings["hour"][0][15], 0x10);
    EXPECT_EQ(rings["hour"][1][7], 0xFF);
    EXPECT_TRUE(rings.count("day") == 1 && rings["day"].empty());
    ASSERT_EQ(rings["journal"].size(), 1u);
    EXPECT_EQ(rings["journal"][0][10], 0xAA);
}

TEST(SimDumpTest, KeepsEachDeviceOfTheLineApart) {
    const std::string dump =
        "device 3 serial 346311528\n"
        "ring hour h=7 o=0 n=1\n"
        "hour 0 0102030405060708090A0B0C0D0E0F10\n"
        "device 1 serial 346311529\n"
        "ring hour h=7 o=0 n=2\n"
        "hour 1 FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\n"
        "hour 0 00112233445566778899AABBCCDDEEFF\n";
    std::vector<SimDumpDevice> devices;
    std::string error;
    ASSERT_TRUE(ParseSimDumpDevices(dump, devices, error)) << error;
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].address, 3);
    EXPECT_EQ(devices[0].serial, 346311528u);
    EXPECT_EQ(devices[0].rings["hour"].size(), 1u);
    EXPECT_EQ(devices[1].address, 1);
    ASSERT_EQ(devices[1].rings["hour"].size(), 2u);
    EXPECT_EQ(devices[1].rings["hour"][1][15], 0xFF);

    std::map<std::string, std::vector<RecordBytes>> rings;
    EXPECT_FALSE(ParseSimDump(dump, rings, error)) << "which device's rings?";
    EXPECT_NE(error.find("2 devices"), std::string::npos) << error;
    const size_t second = dump.find("device 1");
    ASSERT_TRUE(ParseSimDump(dump.substr(0, second), rings, error)) << error;
    EXPECT_EQ(rings["hour"].size(), 1u);
    for (const char* line : {"device 3\n", "device x serial 1\n", "device 3 serial\n"}) {
        EXPECT_FALSE(ParseSimDumpDevices(line, devices, error)) << line;
    }
}

TEST(SimDumpTest, RejectsARecordThatIsNot16Bytes) {
    std::map<std::string, std::vector<RecordBytes>> rings;
    std::string error;
    for (const char* record : {"hour 1 0102\n", "hour 1 0102030405060708090A0B0C0D0E0F1011\n",
                               "hour 1 0102030405060708090A0B0C0D0E0FZZ\n", "hour 1\n"}) {
        error.clear();
        EXPECT_FALSE(ParseSimDump(std::string("ring hour h=1 o=0 n=1\n") + record, rings, error))
            << record;
        EXPECT_NE(error.find("line 2"), std::string::npos) << record;
    }
}

}  // namespace

// The benchmark's own arithmetic and readers: the device's log and dump, the
// floor of a read, the sums of the request phases.
#include "BenchReadTask.h"
#include "ReadFloor.h"
#include "SimRecords.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

Exchange MakeExchange(size_t requestBytes, size_t answerBytes) {
    return {Bytes(requestBytes, 0x01), Bytes(answerBytes, 0x02)};
}

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

// ---- the floor -----------------------------------------------------------

TEST(ReadFloorTest, WireTimeIsTenBitsAByte) {
    EXPECT_DOUBLE_EQ(WireMs(24, 19200), 12.5);
    EXPECT_DOUBLE_EQ(WireMs(1, 9600), 10000.0 / 9600);
    EXPECT_DOUBLE_EQ(WireMs(100, 0), 0.0);
}

TEST(ReadFloorTest, ExchangeCostAddsEveryPartOfTheRoad) {
    LineDiscipline line;
    // A chunk of 31 archive records: 9 bytes out, 7 + 31 * 16 + 2 back.
    const double cost = ExchangeCostMs(MakeExchange(9, 505), line);
    EXPECT_NEAR(cost, 514 * 10000.0 / 19200 + 9 + 5 + 20 + 20, 1e-9);
    line.latencyMs = 50;
    EXPECT_NEAR(ExchangeCostMs(MakeExchange(9, 505), line), cost + 45, 1e-9);
}

struct TickCase {
    const char* name;
    double ms;
    int ticks;
};

class TicksToCoverTest : public testing::TestWithParam<TickCase> {};

TEST_P(TicksToCoverTest, RoundsUpToTheNextTick) {
    EXPECT_EQ(TicksToCover(GetParam().ms, 100), GetParam().ticks);
}

INSTANTIATE_TEST_SUITE_P(
    Costs, TicksToCoverTest,
    testing::Values(TickCase{"Nothing", 0, 0}, TickCase{"JustAbove0", 0.001, 1},
                    TickCase{"JustBelow1", 99.9, 1}, TickCase{"Exactly1", 100, 1},
                    TickCase{"JustAbove1", 100.01, 2}, TickCase{"Exactly3", 300, 3},
                    TickCase{"ThreeWithRoundingNoise", 0.1 * 3000, 3},
                    TickCase{"ArchiveChunk", 321.7, 4}),
    [](const testing::TestParamInfo<TickCase>& info) { return std::string(info.param.name); });

TEST(ReadFloorTest, AddsTheTicksOfEveryAction) {
    const LineDiscipline line;
    // Identification (~59 ms: one tick), current parameters (~127 ms: two),
    // a full archive chunk (~322 ms: four), a skipped archive, the close.
    const std::vector<Exchange> exchanges = {MakeExchange(4, 13), MakeExchange(8, 133),
                                             MakeExchange(9, 505)};
    const std::vector<TickAction> actions = {
        TickAction::Nothing, TickAction::Open,    TickAction::Request, TickAction::Request,
        TickAction::Request, TickAction::Nothing, TickAction::Close};
    ReadFloor floor;
    std::string error;
    ASSERT_TRUE(ComputeReadFloor(actions, exchanges, line, floor, error)) << error;
    EXPECT_EQ(floor.nothingTicks, 2);
    EXPECT_EQ(floor.openTicks, 3);
    EXPECT_EQ(floor.requestTicks, 1 + 2 + 4);
    EXPECT_EQ(floor.TotalTicks(), 12);
    EXPECT_EQ(floor.actionTicks, (std::vector<int>{1, 3, 1, 2, 4, 1, 0}));
    double costs = 0;
    for (const Exchange& e : exchanges) {
        costs += ExchangeCostMs(e, line);
    }
    EXPECT_NEAR(floor.requestCostMs, costs, 1e-9);
}

struct MismatchCase {
    const char* name;
    std::vector<TickAction> actions;
    std::vector<Exchange> exchanges;
    const char* errorPart;
};

class ReadFloorMismatchTest : public testing::TestWithParam<MismatchCase> {};

TEST_P(ReadFloorMismatchTest, IsRefused) {
    ReadFloor floor;
    std::string error;
    EXPECT_FALSE(
        ComputeReadFloor(GetParam().actions, GetParam().exchanges, LineDiscipline(), floor, error));
    EXPECT_NE(error.find(GetParam().errorPart), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Reads, ReadFloorMismatchTest,
    testing::Values(MismatchCase{"MoreRequestsThanTheDeviceGot",
                                 {TickAction::Request, TickAction::Request, TickAction::Close},
                                 {MakeExchange(4, 13)},
                                 "more requests"},
                    MismatchCase{"FewerRequestsThanTheDeviceGot",
                                 {TickAction::Request, TickAction::Close},
                                 {MakeExchange(4, 13), MakeExchange(4, 13)},
                                 "received 2 requests, the task sent 1"},
                    MismatchCase{"UnansweredRequest",
                                 {TickAction::Request, TickAction::Request, TickAction::Close},
                                 {MakeExchange(4, 13), MakeExchange(4, 0)},
                                 "request 2 got no answer"},
                    MismatchCase{"CloseInTheMiddle",
                                 {TickAction::Close, TickAction::Request},
                                 {MakeExchange(4, 13)},
                                 "not the last"}),
    [](const testing::TestParamInfo<MismatchCase>& info) { return std::string(info.param.name); });

// ---- the request phases --------------------------------------------------

TEST(RequestPhasesTest, SumsOnlyRequestsSeenAllTheWay) {
    const BenchTime t0 = BenchTime() + std::chrono::hours(1);
    auto at = [t0](double ms) {
        return t0 + std::chrono::duration_cast<BenchClock::duration>(
                        std::chrono::duration<double, std::milli>(ms));
    };
    std::vector<RequestTiming> requests = {
        {at(0), at(1), at(290), at(311), at(400)},
        {at(400), at(402), at(700), at(721), at(800)},
        // Lost on the way: no answer was read, so it is left out.
        {at(800), at(801), {}, {}, at(3000)},
    };
    const RequestPhases phases = SumRequestPhases(requests);
    EXPECT_EQ(phases.requests, 2);
    EXPECT_NEAR(phases.handOverMs, 1 + 2, 1e-6);
    EXPECT_NEAR(phases.lineMs, 289 + 298, 1e-6);
    EXPECT_NEAR(phases.pauseMs, 21 + 21, 1e-6);
    EXPECT_NEAR(phases.tickWaitMs, 89 + 79, 1e-6);
}

}  // namespace

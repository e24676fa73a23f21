// The benchmark's own arithmetic: the wire and tick floors of a read, the
// sums of the request phases.
#include "BenchReadTask.h"
#include "ReadFloor.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

namespace {

ZQ_PRINT_CASES_BY_NAME

using Bytes = std::vector<uint8_t>;

Exchange MakeExchange(size_t requestBytes, size_t answerBytes) {
    return {Bytes(requestBytes, 0x01), Bytes(answerBytes, 0x02)};
}

// ---- the floor -----------------------------------------------------------

TEST(ReadFloorTest, WireTimeIsTenBitsAByte) {
    EXPECT_DOUBLE_EQ(WireMs(24, 19200), 12.5);
    EXPECT_DOUBLE_EQ(WireMs(1, 9600), 10000.0 / 9600);
    EXPECT_DOUBLE_EQ(WireMs(100, 0), 0.0);
}

TEST(ReadFloorTest, WireFloorAddsTheBytesTheDeviceAndTheSettle) {
    // Identification (4 + 13 bytes) and a full archive chunk (9 + 505).
    const std::vector<Exchange> exchanges = {MakeExchange(4, 13), MakeExchange(9, 505)};
    const double bytesMs = (4 + 13 + 9 + 505) * 10000.0 / 19200;
    EXPECT_NEAR(WireFloorMs(exchanges, WireDiscipline()), bytesMs + 2 * (5 + 5) + 300, 1e-9);
    // Over a network: the round trip in every request, nothing to settle.
    EXPECT_NEAR(WireFloorMs(exchanges, NetworkWire(5, 300)), bytesMs + 2 * (5 + 5 + 300), 1e-9);
    EXPECT_NEAR(RequestFloorMs(exchanges[1], NetworkWire(5, 300)), 514 * 10000.0 / 19200 + 310,
                1e-9);
}

TEST(ReadFloorTest, ExchangeCostAddsEveryPartOfTheRoad) {
    TickDiscipline line;
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
    const TickDiscipline line;
    // Identification (~59 ms: one tick), current parameters (~127 ms: two),
    // a full archive chunk (~322 ms: four), a skipped archive, the close.
    const std::vector<Exchange> exchanges = {MakeExchange(4, 13), MakeExchange(8, 133),
                                             MakeExchange(9, 505)};
    const std::vector<TickAction> actions = {
        TickAction::Nothing, TickAction::Open,    TickAction::Request, TickAction::Request,
        TickAction::Request, TickAction::Nothing, TickAction::Close};
    TickFloor floor;
    std::string error;
    ASSERT_TRUE(ComputeTickFloor(actions, exchanges, line, floor, error)) << error;
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
    TickFloor floor;
    std::string error;
    EXPECT_FALSE(
        ComputeTickFloor(GetParam().actions, GetParam().exchanges, TickDiscipline(), floor, error));
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
    EXPECT_NEAR(phases.nextStepMs, 89 + 79, 1e-6);
}

}  // namespace

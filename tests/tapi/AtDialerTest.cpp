// The modem dialogue of one call: result codes to call states.
#include "AtDialer.h"
#include "AtLineBuffer.h"
#include "TapiConstants.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ZQ_PRINT_CASES_BY_NAME

using States = std::vector<uint32_t>;

struct DialCase {
    const char* name;
    std::vector<std::string> responses;  // after the init string's "OK"
    States states;                       // after DIALING, PROCEEDING
    bool connected;
};

class AtDialerOutcome : public testing::TestWithParam<DialCase> {};

TEST_P(AtDialerOutcome, ResultCodesGiveCallStates) {
    AtDialer dialer("AT&F E0", "84951234567");
    EXPECT_EQ(dialer.Start(0).write, "AT&F E0\r");
    AtDialer::Output out = dialer.OnLine("AT&F E0", 10);  // echo
    EXPECT_TRUE(out.write.empty());
    out = dialer.OnLine("OK", 20);
    EXPECT_EQ(out.write, "ATD84951234567\r");
    EXPECT_EQ(out.states, (States{LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING}));
    States states;
    for (const std::string& r : GetParam().responses) {
        out = dialer.OnLine(r, 1000);
        EXPECT_TRUE(out.write.empty());
        states.insert(states.end(), out.states.begin(), out.states.end());
    }
    EXPECT_EQ(states, GetParam().states);
    EXPECT_TRUE(dialer.Finished());
    EXPECT_EQ(dialer.Connected(), GetParam().connected);
    // Whatever comes later is data or noise, never a state.
    EXPECT_TRUE(dialer.OnLine("NO CARRIER", 2000).states.empty());
    EXPECT_TRUE(dialer.OnTime(1000000).states.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Results, AtDialerOutcome,
    testing::Values(DialCase{"Connect", {"", "CONNECT 19200"}, {LINECALLSTATE_CONNECTED}, true},
                    DialCase{"ConnectAfterRinging",
                             {"RINGING", "CONNECT"},
                             {LINECALLSTATE_RINGBACK, LINECALLSTATE_CONNECTED},
                             true},
                    DialCase{
                        "Busy", {"BUSY"}, {LINECALLSTATE_BUSY, LINECALLSTATE_DISCONNECTED}, false},
                    DialCase{"NoCarrier", {"NO CARRIER"}, {LINECALLSTATE_DISCONNECTED}, false},
                    DialCase{"NoAnswer", {"NO ANSWER"}, {LINECALLSTATE_DISCONNECTED}, false},
                    DialCase{"NoDialtone", {"NO DIALTONE"}, {LINECALLSTATE_DISCONNECTED}, false},
                    DialCase{"Error", {"ERROR"}, {LINECALLSTATE_DISCONNECTED}, false}),
    [](const testing::TestParamInfo<DialCase>& info) { return std::string(info.param.name); });

TEST(AtDialer, ConnectSpeedIsKept) {
    AtDialer dialer("", "1");
    EXPECT_EQ(dialer.Start(0).write, "ATZ\r");
    dialer.OnLine("OK", 0);
    dialer.OnLine("CONNECT 9600/ARQ", 0);
    EXPECT_EQ(dialer.ConnectSpeed(), 9600);
}

TEST(AtDialer, InitRefusedOrSilentDisconnects) {
    AtDialer refused("ATZ", "1");
    refused.Start(0);
    EXPECT_EQ(refused.OnLine("ERROR", 5).states, (States{LINECALLSTATE_DISCONNECTED}));

    AtDialer silent("ATZ", "1", 120000, 5000);
    silent.Start(0);
    EXPECT_TRUE(silent.OnTime(4999).states.empty());
    const AtDialer::Output out = silent.OnTime(5000);
    EXPECT_EQ(out.states, (States{LINECALLSTATE_DISCONNECTED}));
    EXPECT_FALSE(out.dropCall);
}

TEST(AtDialer, NoAnswerLimitDropsTheCall) {
    AtDialer dialer("ATZ", "1", 120000);
    dialer.Start(0);
    dialer.OnLine("OK", 1000);
    EXPECT_TRUE(dialer.OnTime(120999).states.empty());
    const AtDialer::Output out = dialer.OnTime(121000);
    EXPECT_TRUE(out.dropCall);
    EXPECT_EQ(out.states, (States{LINECALLSTATE_DISCONNECTED}));
}

// The modem's bytes cut into lines: an unfinished line never holds more
// than 1 KiB, an over-long one is dropped to its end, and the lines after
// it come through.
TEST(AtLineBuffer, LinesAreCutAndOverlongOnesDropped) {
    const std::string longest(AtLineBuffer::kMaxLine, 'x');
    const struct {
        const char* name;
        std::vector<std::string> reads;
        std::vector<std::string> lines;
    } rows[] = {
        {"SplitAcrossReads", {"\r\nO", "K\r", "\n"}, {"", "", "OK", ""}},
        {"LongestLineKept", {longest, "\rOK\r"}, {longest, "OK"}},
        {"OneByteTooLong", {longest + "y", "zz\rOK\r"}, {"OK"}},
        {"StreamWithoutLineEnd", std::vector<std::string>(200, std::string(4096, 'x')), {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AtLineBuffer buffer;
        std::vector<std::string> lines;
        for (const std::string& read : row.reads) {
            const std::vector<std::string> more = buffer.Feed(read.data(), read.size());
            lines.insert(lines.end(), more.begin(), more.end());
            EXPECT_LE(buffer.Pending(), AtLineBuffer::kMaxLine);
        }
        EXPECT_EQ(lines, row.lines);
        // Whatever came before, the next complete line is seen.
        const std::vector<std::string> next = buffer.Feed("\rCONNECT 19200\r", 15);
        ASSERT_FALSE(next.empty());
        EXPECT_EQ(next.back(), "CONNECT 19200");
    }
}

TEST(AtDialer, DialableCharactersOnly) {
    EXPECT_EQ(DialableNumber("8 (495) 123-45-67"), "84951234567");
    EXPECT_EQ(DialableNumber("9w,*70#+1p2t3!@"), "9W,*70#+1P2T3!@");
    EXPECT_EQ(DialableNumber("ATH0;\r\n"), "T0");
    EXPECT_EQ(DialableNumber(""), "");
}

}  // namespace

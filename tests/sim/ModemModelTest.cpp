#include "ModemModel.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <functional>

using namespace zqsim;
using std::chrono::milliseconds;

namespace {

ZQ_PRINT_CASES_BY_NAME

// Drives a modem with a clock of its own.
struct Line {
    explicit Line(ModemSettings s = {}) : modem(std::move(s)) {}

    void Send(const std::string& text) {
        ModemOutput out;
        modem.Receive(reinterpret_cast<const uint8_t*>(text.data()), text.size(), now, out);
        Collect(out);
    }
    void Wait(int ms) {
        now += milliseconds(ms);
        ModemOutput out;
        modem.Poll(now, out);
        Collect(out);
    }
    // Output since the last call.
    std::string Take() {
        std::string s;
        s.swap(text);
        return s;
    }
    void Collect(const ModemOutput& out) {
        text += out.toLine;
        device.insert(device.end(), out.toDevice.begin(), out.toDevice.end());
        hungUp = hungUp || out.hangUp;
    }
    void Connect() {
        Send("ATD123\r");
        Wait(modem_ring());
        ASSERT_EQ(modem.GetState(), ModemModel::State::Online) << text;
        Take();
    }
    int modem_ring() const { return 1000; }

    ModemModel modem;
    SimTime now{};
    std::string text;
    std::vector<uint8_t> device;
    bool hungUp = false;
};

TEST(ModemCommands, EchoAndResultCodes) {
    struct Row {
        const char* name;
        const char* input;
        const char* output;
    } rows[] = {
        {"AT", "AT\r", "AT\r\r\nOK\r\n"},
        {"lower case", "at\r", "at\r\r\nOK\r\n"},
        {"echo off", "ATE0\rAT\r", "ATE0\r\r\nOK\r\n\r\nOK\r\n"},
        {"ATZ turns the echo back on", "ATE0\rATZ\rAT\r",
         "ATE0\r\r\nOK\r\n\r\nOK\r\nAT\r\r\nOK\r\n"},
        {"unknown command", "ATJ\r", "ATJ\r\r\nERROR\r\n"},
        {"E2 is no echo mode", "ATE2\r", "ATE2\r\r\nERROR\r\n"},
        {"line without AT is ignored", "HELLO\r", "HELLO\r"},
        {"backspace edits the line", "AX\bT\r", "AX\bT\r\r\nOK\r\n"},
        {"init string", "AT&F E0 V1 X4\r", "AT&F E0 V1 X4\r\r\nOK\r\n"},
        {"S register", "ATS7=45S7?\r", "ATS7=45S7?\r\r\n045\r\n\r\nOK\r\n"},
        {"ATO without a call", "ATO\r", "ATO\r\r\nNO CARRIER\r\n"},
        {"ATH on hook", "ATH\r", "ATH\r\r\nOK\r\n"},
        {"empty number", "ATD\r", "ATD\r\r\nERROR\r\n"},
    };
    for (const Row& row : rows) {
        Line line;
        line.Send(row.input);
        EXPECT_EQ(line.Take(), row.output) << row.name;
        EXPECT_TRUE(line.device.empty()) << row.name;
    }
}

struct DialCase {
    const char* name;
    std::function<void(ModemSettings&)> setup;
    const char* dial;
    int waitMs;          // after dialling
    const char* result;  // "" = nothing yet
    ModemModel::State state;
};

class ModemDial : public testing::TestWithParam<DialCase> {};

TEST_P(ModemDial, EndsAsTheNumberSays) {
    const DialCase& c = GetParam();
    ModemSettings s;
    s.ringDelayMs = 500;
    c.setup(s);
    Line line(s);
    line.Send("ATE0\r");
    line.Take();
    line.Send(c.dial);
    line.Wait(c.waitMs - 1);
    if (c.waitMs > 0 && std::string(c.result) != "") {
        EXPECT_EQ(line.Take(), "") << "no result before its time";
    }
    line.Wait(1);
    EXPECT_EQ(line.Take(), c.result[0] ? std::string("\r\n") + c.result + "\r\n" : "");
    EXPECT_EQ(line.modem.GetState(), c.state);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, ModemDial,
    testing::Values(DialCase{"answered", [](ModemSettings& s) { s.answer = {"123"}; }, "ATDT123\r",
                             500, "CONNECT 19200", ModemModel::State::Online},
                    DialCase{"any_number_answers_without_a_list", [](ModemSettings&) {},
                             "ATD5551234\r", 500, "CONNECT 19200", ModemModel::State::Online},
                    DialCase{"modifiers_are_skipped",
                             [](ModemSettings& s) { s.answer = {"8-495-123"}; }, "ATDP8,495W123\r",
                             500, "CONNECT 19200", ModemModel::State::Online},
                    DialCase{"busy", [](ModemSettings& s) { s.busy = {"555"}; }, "ATD555\r", 500,
                             "BUSY", ModemModel::State::Command},
                    DialCase{"number_not_on_the_answer_list",
                             [](ModemSettings& s) { s.answer = {"123"}; }, "ATD999\r", 500,
                             "NO CARRIER", ModemModel::State::Command},
                    DialCase{"never_answers", [](ModemSettings& s) { s.noAnswer = {"777"}; },
                             "ATD777\r", 200000, "", ModemModel::State::Dialing},
                    DialCase{"no_answer_after_a_while",
                             [](ModemSettings& s) {
                                 s.noAnswer = {"777"};
                                 s.noAnswerAfterMs = 30000;
                             },
                             "ATD777\r", 30000, "NO ANSWER", ModemModel::State::Command},
                    DialCase{"no_dialtone", [](ModemSettings& s) { s.noDialtone = true; },
                             "ATD123\r", 0, "NO DIALTONE", ModemModel::State::Command}),
    [](const testing::TestParamInfo<DialCase>& info) { return info.param.name; });

TEST(ModemCall, AByteWhileDiallingAbortsAndStartsTheNextLine) {
    Line line;
    line.Send("ATE0\rATD123\r");
    line.Take();
    line.Send("A");
    EXPECT_EQ(line.Take(), "\r\nNO CARRIER\r\n");
    line.Send("TH\r");
    EXPECT_EQ(line.Take(), "\r\nOK\r\n");
    line.Wait(5000);
    EXPECT_EQ(line.modem.GetState(), ModemModel::State::Command);
}

TEST(ModemCall, DataGoesToTheDeviceAndEscapeNeedsBothGuardTimes) {
    Line line;
    line.Connect();
    line.Send(std::string("\x01\x11\xC0\x2C", 4));
    EXPECT_EQ(line.device, (std::vector<uint8_t>{0x01, 0x11, 0xC0, 0x2C}));
    EXPECT_EQ(line.Take(), "") << "no echo in a call";

    // Too soon after data: no escape.
    line.Wait(500);
    line.Send("+++");
    line.Wait(2000);
    EXPECT_EQ(line.modem.GetState(), ModemModel::State::Online);

    // Guard time before, then a byte within the guard time after: no escape.
    line.Wait(1000);
    line.Send("+++");
    line.Wait(500);
    line.Send("x");
    line.Wait(2000);
    EXPECT_EQ(line.modem.GetState(), ModemModel::State::Online);
    EXPECT_EQ(line.Take(), "");

    // Guard, "+++", guard: command mode with the call up.
    line.Wait(1000);
    line.Send("+++");
    line.Wait(999);
    EXPECT_EQ(line.Take(), "");
    line.Wait(1);
    EXPECT_EQ(line.Take(), "\r\nOK\r\n");
    EXPECT_EQ(line.modem.GetState(), ModemModel::State::OnlineCommand);

    line.Send("ATO\r");
    EXPECT_EQ(line.Take(), "ATO\r\r\nCONNECT 19200\r\n");
    line.Wait(1000);
    line.Send("+++");
    line.Wait(1000);
    line.Take();
    const size_t before = line.device.size();
    line.Send("ATH\r");
    EXPECT_EQ(line.Take(), "ATH\r\r\nOK\r\n");
    EXPECT_EQ(line.modem.GetState(), ModemModel::State::Command);
    EXPECT_EQ(line.device.size(), before) << "commands are not data";
    EXPECT_FALSE(line.hungUp) << "ATH ends the call, the line stays";
}

TEST(ModemCall, CarrierDropsAfterRequestsOrSeconds) {
    ModemSettings byRequests;
    byRequests.dropAfterRequests = 2;
    Line a(byRequests);
    a.Connect();
    ModemOutput out;
    EXPECT_FALSE(a.modem.RequestArrives(out));
    EXPECT_FALSE(a.modem.RequestArrives(out));
    EXPECT_FALSE(out.hangUp);
    EXPECT_TRUE(a.modem.RequestArrives(out));
    EXPECT_TRUE(out.hangUp);
    EXPECT_EQ(a.modem.GetState(), ModemModel::State::Command);

    ModemSettings bySeconds;
    bySeconds.dropAfterMs = 5000;
    Line b(bySeconds);
    b.Connect();
    b.Wait(4999);
    EXPECT_FALSE(b.hungUp);
    ASSERT_TRUE(b.modem.NextDeadline().has_value());
    EXPECT_EQ(*b.modem.NextDeadline(), b.now + milliseconds(1));
    b.Wait(1);
    EXPECT_TRUE(b.hungUp);
}

TEST(ModemCall, CommandLineAfterSilenceEndsACallTheHostLost) {
    Line line;
    line.Connect();
    line.Wait(1500);
    // A frame to address 0x41 ('A') is data, not a command line.
    line.Send(std::string("\x41\x03\x00\x00\x00\x10\x4A\x0D", 8));
    EXPECT_EQ(line.modem.GetState(), ModemModel::State::Online);
    line.Wait(1500);
    line.Send("ATZ\r");
    EXPECT_EQ(line.modem.GetState(), ModemModel::State::Command);
    EXPECT_EQ(line.Take(), "ATZ\r\r\nOK\r\n");
}

}  // namespace

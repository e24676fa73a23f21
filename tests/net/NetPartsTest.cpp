// The network channel's pure parts: the addresses the settings may hold,
// the telnet layer of RFC 2217, and the bound on name look-ups.
#include "Crc16.h"
#include "NameLookups.h"
#include "NetEndpoint.h"
#include "PtyDevice.h"
#include "TelnetCodec.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <netdb.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace {

ZQ_PRINT_CASES_BY_NAME

struct AddressCase {
    const char* name;
    const char* text;
    bool listen;
    bool valid;
    const char* host;
    int port;
};

class AddressTest : public testing::TestWithParam<AddressCase> {};

TEST_P(AddressTest, ParsesOrRefusesWithAText) {
    const AddressCase& c = GetParam();
    std::string error;
    const auto endpoint =
        c.listen ? ParseListenAddress(c.text, &error) : ParseConnectAddress(c.text, &error);
    ASSERT_EQ(endpoint.has_value(), c.valid) << error;
    if (c.valid) {
        EXPECT_EQ(endpoint->host, c.host);
        EXPECT_EQ(endpoint->port, c.port);
    } else {
        EXPECT_FALSE(error.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, AddressTest,
    testing::Values(AddressCase{"NameAndPort", "meter-7.example:4001", false, true,
                                "meter-7.example", 4001},
                    AddressCase{"Ipv4", "192.168.0.10:502", false, true, "192.168.0.10", 502},
                    AddressCase{"Ipv6InBrackets", "[fe80::1]:4001", false, true, "fe80::1", 4001},
                    AddressCase{"Ipv6WithoutBrackets", "fe80::1:4001", false, false, "", 0},
                    AddressCase{"NoPort", "192.168.0.10", false, false, "", 0},
                    AddressCase{"PortZero", "host:0", false, false, "", 0},
                    AddressCase{"PortTooHigh", "host:65536", false, false, "", 0},
                    AddressCase{"PortNotANumber", "host:40a1", false, false, "", 0},
                    AddressCase{"NoHost", ":4001", false, false, "", 0},
                    AddressCase{"Space", "host :4001", false, false, "", 0},
                    AddressCase{"ListenPortOnly", "4001", true, true, "", 4001},
                    AddressCase{"ListenOnAddress", "0.0.0.0:4001", true, true, "0.0.0.0", 4001},
                    AddressCase{"ListenOnIpv6", "[::1]:4001", true, true, "::1", 4001},
                    AddressCase{"ListenAnyPort", "127.0.0.1:0", true, true, "127.0.0.1", 0},
                    AddressCase{"ListenBadPort", "99999", true, false, "", 0}),
    [](const testing::TestParamInfo<AddressCase>& info) { return std::string(info.param.name); });

using Bytes = std::vector<uint8_t>;
constexpr uint8_t IAC = TelnetCodec::IAC;

TEST(TelnetCodec, DataKeepsEveryByteValueBothWays) {
    const Bytes data = {0x05, 0xFF, 0x11, 0xFF, 0xFF, 0x00, 0x0D, 0x00};
    const Bytes encoded = TelnetCodec::Encode(data.data(), data.size());
    EXPECT_EQ(encoded, (Bytes{0x05, IAC, IAC, 0x11, IAC, IAC, IAC, IAC, 0x00, 0x0D, 0x00}));
    // Every piece boundary, even inside an IAC pair, gives the same data.
    for (size_t cut = 0; cut <= encoded.size(); ++cut) {
        TelnetCodec codec;
        Bytes decoded;
        Bytes replies;
        codec.Decode(encoded.data(), cut, decoded, replies);
        codec.Decode(encoded.data() + cut, encoded.size() - cut, decoded, replies);
        EXPECT_EQ(decoded, data) << "cut at " << cut;
    }
}

TEST(TelnetCodec, NegotiationsAreAnsweredOnceAndNotificationsSkipped) {
    TelnetCodec codec;
    const Bytes greeting = codec.Greeting(19200);
    // The rate big-endian: 19200 = 00 00 4B 00.
    const Bytes baud = {IAC, TelnetCodec::SB, TelnetCodec::kComPort, 1, 0, 0, 0x4B, 0,
                        IAC, TelnetCodec::SE};
    EXPECT_NE(std::search(greeting.begin(), greeting.end(), baud.begin(), baud.end()),
              greeting.end());
    const Bytes received = {
        IAC, TelnetCodec::DO, TelnetCodec::kComPort,  // asked already: no answer
        IAC, TelnetCodec::DO, 1,                      // echo: refused
        IAC, TelnetCodec::DO, 1,                      // again: refused once only
        0x41,
        // The server's answer to SET-BAUDRATE, with an escaped 0xFF inside.
        IAC, TelnetCodec::SB, TelnetCodec::kComPort, 101, 0, 0, IAC, IAC, 0, IAC, TelnetCodec::SE,
        0x42, IAC, TelnetCodec::WILL, 24,  // terminal type: refused
    };
    Bytes data;
    Bytes replies;
    codec.Decode(received.data(), received.size(), data, replies);
    EXPECT_EQ(data, (Bytes{0x41, 0x42}));
    EXPECT_EQ(replies, (Bytes{IAC, TelnetCodec::WONT, 1, IAC, TelnetCodec::DONT, 24}));
    EXPECT_TRUE(codec.ComPortConfirmed());
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes WithCrc(Bytes frame) {
    const uint16_t crc = Crc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

// A device's answer with a CR NUL inside.
const Bytes kAnswer = WithCrc({0x05, 0x11, 0x04, 0x0D, 0x00, 0x41, 0x42});
// Another answer to the same request, which must never be taken for it.
const Bytes kHiddenAnswer = WithCrc({0x05, 0x11, 0x04, 0x99, 0x99, 0x99, 0x99});

Bytes SubOf(const Bytes& value) {
    return Bytes{IAC, TelnetCodec::SB, TelnetCodec::kComPort} + value + Bytes{IAC, TelnetCodec::SE};
}

// A subnegotiation of `length` bytes (at least 100) between IAC SB and
// IAC SE, IAC IAC counting one: past its 64th byte an IAC WILL, then
// kHiddenAnswer and an escaped 0xFF. Without its IAC SE when `ended` is
// false.
Bytes LongSub(size_t length, bool ended) {
    Bytes sub = {IAC, TelnetCodec::SB, TelnetCodec::kComPort, 7};
    sub.resize(sub.size() + 70, 0x20);
    sub = sub + Bytes{IAC, TelnetCodec::WILL, 1} + kHiddenAnswer + Bytes{IAC, IAC};
    sub.resize(length + 3, 0x20);
    return ended ? sub + Bytes{IAC, TelnetCodec::SE} : sub;
}

using Agreement = TelnetCodec::Agreement;

struct TelnetCase {
    const char* name;
    Bytes received;
    Bytes data;        // what Decode passes on
    const char* note;  // the one log text expected, "" for none
    bool unfinished;
    bool differs;
    Agreement toServer;
    Agreement fromServer;
};

class TelnetDecode : public testing::TestWithParam<TelnetCase> {};

// Fed at once and byte by byte, the server's bytes give the same data, log
// texts and state.
TEST_P(TelnetDecode, PassesOnlyTheDataAndReportsTheServer) {
    const TelnetCase& c = GetParam();
    for (const bool byByte : {false, true}) {
        TelnetCodec codec;
        codec.Greeting(19200);
        Bytes data;
        Bytes replies;
        std::vector<std::string> notes;
        for (size_t at = 0; at < c.received.size();) {
            const size_t piece = byByte ? 1 : c.received.size();
            codec.Decode(c.received.data() + at, piece, data, replies);
            at += piece;
            for (std::string& text : codec.TakeNotes()) {
                notes.push_back(std::move(text));
            }
        }
        SCOPED_TRACE(byByte ? "byte by byte" : "at once");
        EXPECT_EQ(data, c.data);
        if (*c.note == '\0') {
            EXPECT_TRUE(notes.empty()) << notes.front();
        } else {
            ASSERT_EQ(notes.size(), 1u);
            EXPECT_EQ(notes[0], c.note);
        }
        EXPECT_EQ(codec.SubUnfinished(), c.unfinished);
        EXPECT_EQ(codec.ComPortDiffers(), c.differs);
        EXPECT_EQ(codec.BinaryToServer(), c.toServer);
        EXPECT_EQ(codec.BinaryFromServer(), c.fromServer);
    }
}

const Bytes kBinaryBothWays = {IAC, TelnetCodec::DO, 0, IAC, TelnetCodec::WILL, 0};
// What Debian's ser2net reports after the greeting: every value as asked.
const Bytes kSer2netReports = SubOf({101, 0, 0, 0x4B, 0}) + SubOf({102, 8}) + SubOf({103, 1}) +
                              SubOf({104, 1}) + SubOf({105, 1}) + SubOf({105, 14});

INSTANTIATE_TEST_SUITE_P(
    Cases, TelnetDecode,
    testing::Values(
        TelnetCase{"AnswerHiddenInALongSubnegotiation",
                   kBinaryBothWays + LongSub(100, true) + kAnswer, kAnswer,
                   "Отброшено телнет-субсогласование в 100 байт (длиннее 64)", false, false,
                   Agreement::Agreed, Agreement::Agreed},
        TelnetCase{"UnendedSubnegotiation",
                   kBinaryBothWays + LongSub(1100, false) + kAnswer,
                   {},
                   "",
                   true,
                   false,
                   Agreement::Agreed,
                   Agreement::Agreed},
        TelnetCase{"CrNulBeforeTheServerAgreedBinary", kAnswer + kBinaryBothWays, kAnswer, "",
                   false, false, Agreement::Agreed, Agreement::Agreed},
        TelnetCase{"BinaryRefused",
                   {IAC, TelnetCodec::DONT, 0, IAC, TelnetCodec::WONT, 0},
                   {},
                   "",
                   false,
                   false,
                   Agreement::Refused,
                   Agreement::Refused},
        TelnetCase{"Ser2netSetsTheLineAsAsked", kBinaryBothWays + kSer2netReports + kAnswer,
                   kAnswer, "", false, false, Agreement::Agreed, Agreement::Agreed},
        TelnetCase{"ServerSetsAnotherRate",
                   SubOf({101, 0, 0, 0x25, 0x80}),
                   {},
                   "RFC 2217: сервер установил скорость 9600 бит/с вместо 19200 бит/с",
                   false,
                   true,
                   Agreement::Asked,
                   Agreement::Asked},
        TelnetCase{"ServerSetsEvenParity",
                   SubOf({103, 3}),
                   {},
                   "RFC 2217: сервер установил чётность «чёт» вместо «нет»",
                   false,
                   true,
                   Agreement::Asked,
                   Agreement::Asked},
        TelnetCase{"ServerSetsHardwareFlowControl",
                   SubOf({105, 3}),
                   {},
                   "RFC 2217: сервер установил управление потоком «RTS/CTS» вместо «нет»",
                   false,
                   true,
                   Agreement::Asked,
                   Agreement::Asked}),
    [](const testing::TestParamInfo<TelnetCase>& info) { return std::string(info.param.name); });

// Look-ups whose name server answers only when the test lets it.
struct HeldResolver {
    std::mutex lock;
    std::condition_variable released;
    bool free = false;
    std::atomic<int> calls{0};

    NameLookups::Resolver Resolver() {
        return [this](const std::string&, addrinfo** list) {
            ++calls;
            std::unique_lock<std::mutex> hold(lock);
            released.wait(hold, [this] { return free; });
            addrinfo hints{};
            hints.ai_flags = AI_NUMERICHOST;
            return ::getaddrinfo("127.0.0.1", nullptr, &hints, list);
        };
    }
    void Release() {
        std::lock_guard<std::mutex> hold(lock);
        free = true;
        released.notify_all();
    }
};

TEST(NameLookups, OneLookupPerNameAndNoMoreThanTheBound) {
    HeldResolver server;
    NameLookups lookups(server.Resolver(), 2);
    const auto first = lookups.Start("meter-1.example");
    ASSERT_NE(first, nullptr);
    // Tried again while the name server says nothing: the same look-up.
    EXPECT_EQ(lookups.Start("meter-1.example"), first);
    const auto second = lookups.Start("meter-2.example");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(lookups.Start("meter-3.example"), nullptr);
    EXPECT_EQ(lookups.Running(), 2u);
    ASSERT_TRUE(WaitFor([&] { return server.calls == 2; }));

    server.Release();
    ASSERT_TRUE(WaitFor([&] { return lookups.Running() == 0; }));
    ASSERT_TRUE(first->Ready());
    EXPECT_EQ(first->Status(), 0);
    EXPECT_NE(first->List(), nullptr);
    // Once ended, a name is looked up afresh.
    const auto again = lookups.Start("meter-1.example");
    EXPECT_NE(again, first);
    EXPECT_TRUE(WaitFor([&] { return server.calls == 3 && again->Ready(); }));
}

}  // namespace

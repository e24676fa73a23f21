// The network channel's pure parts: the addresses the settings may hold and
// the telnet layer of RFC 2217.
#include "NetEndpoint.h"
#include "TelnetCodec.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

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
                    AddressCase{"ListenBadPort", "99999", true, false, "", 0}),
    [](const testing::TestParamInfo<AddressCase>& info) { return std::string(info.param.name); });

using Bytes = std::vector<uint8_t>;
constexpr uint8_t IAC = TelnetCodec::IAC;

TEST(TelnetCodec, DataKeepsEveryByteValueBothWays) {
    const Bytes data = {0x05, 0xFF, 0x11, 0xFF, 0xFF, 0x00, 0x0D, 0x00};
    const Bytes encoded = TelnetCodec::Encode(data.data(), data.size());
    EXPECT_EQ(encoded, (Bytes{0x05, IAC, IAC, 0x11, IAC, IAC, IAC, IAC, 0x00, 0x0D, 0x00}));
    // The server said WILL BINARY, so CR NUL stays two bytes; every piece
    // boundary, even inside an IAC pair, gives the same data.
    for (size_t cut = 0; cut <= encoded.size(); ++cut) {
        TelnetCodec codec;
        Bytes decoded;
        Bytes replies;
        const Bytes will = {IAC, TelnetCodec::WILL, TelnetCodec::kBinary};
        codec.Decode(will.data(), will.size(), decoded, replies);
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

}  // namespace

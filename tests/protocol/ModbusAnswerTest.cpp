#include "ModbusAnswer.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ZQ_PRINT_CASES_BY_NAME

struct SpanCase {
    const char* name;
    std::vector<uint8_t> request;
    std::vector<uint8_t> received;
    size_t start;
    size_t length;
    bool framed;
};

class LocateAnswerTest : public testing::TestWithParam<SpanCase> {};

TEST_P(LocateAnswerTest, FindsWhereTheAnswerBeginsAndHowLongItIs) {
    const SpanCase& c = GetParam();
    const AnswerSpan span =
        LocateAnswer(c.request.data(), c.request.size(), c.received.data(), c.received.size());
    EXPECT_EQ(span.start, c.start);
    EXPECT_EQ(span.length, c.length);
    EXPECT_EQ(span.framed, c.framed);
}

std::vector<uint8_t> Text(const std::string& text) {
    return {text.begin(), text.end()};
}

std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<uint8_t> kIdent = {0x05, 0x11, 0x00, 0x00};
const std::vector<uint8_t> kInput = {0x05, 0x04, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00};
const std::vector<uint8_t> kArchive = {0x05, 0x41, 0x00, 0x01, 0x10, 0x00, 0x1F, 0x00, 0x00};
const std::vector<uint8_t> kWrite = {0x05, 0x10, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x07, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Answers, LocateAnswerTest,
    testing::Values(
        SpanCase{"NothingYet", kIdent, {}, 0, 0, true},
        SpanCase{"AddressOnly", kIdent, {0x05}, 0, 0, true},
        SpanCase{"IdentByteCount", kIdent, {0x05, 0x11, 0x08}, 0, 13, true},
        SpanCase{"RegistersByteCount", kInput, {0x05, 0x04, 0x80}, 0, 133, true},
        SpanCase{"ArchiveRecordCountNotYet", kArchive, {0x05, 0x41, 0, 0, 0x10, 0}, 0, 0, true},
        SpanCase{"ArchiveRecordCount", kArchive, {0x05, 0x41, 0, 0, 0x10, 0, 31}, 0, 505, true},
        SpanCase{"WriteEchoFixed", kWrite, {0x05, 0x10}, 0, 8, true},
        SpanCase{"Exception", kInput, {0x05, 0x84, 0x02}, 0, 5, true},
        SpanCase{"ModemLineSkipped", kIdent, Join(Text("CONNECT 9600\r\n"), {0x05, 0x11, 0x08}), 14,
                 13, true},
        SpanCase{"OtherAddressSkipped", kIdent, {0x07, 0x11, 0x08, 0x05, 0x11, 0x08}, 3, 13, true},
        SpanCase{"OtherFunctionSkipped", kIdent, {0x05, 0x03, 0x05, 0x11}, 2, 0, true},
        SpanCase{"NoStartAtAll", kIdent, Text("RING\r\n"), 6, 0, true},
        SpanCase{"AnyAddressForAddressZero", {0x00, 0x11, 0, 0}, {0x2A, 0x11, 0x04}, 0, 9, true},
        SpanCase{"UnknownFunctionUnframed", {0x05, 0x2B, 0, 0}, {0x05, 0x2B, 0x0E}, 0, 0, false}),
    [](const testing::TestParamInfo<SpanCase>& info) { return std::string(info.param.name); });

}  // namespace

#include "ModbusAnswer.h"

#include "Crc16.h"

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

namespace {

std::vector<uint8_t> Framed(std::vector<uint8_t> frame) {
    const uint16_t crc = Crc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

// An archive answer of `records` records (their bytes do not matter here)
// of `kind`, naming `end` as the slot after the last.
std::vector<uint8_t> ArchiveAnswer(uint8_t kind, uint16_t end, uint8_t records) {
    std::vector<uint8_t> a = {
        0x05, 0x41, kind, 0x00, static_cast<uint8_t>(end), static_cast<uint8_t>(end >> 8), records};
    a.resize(a.size() + 16u * records, 0x11);
    return Framed(a);
}

struct FitCase {
    const char* name;
    std::vector<uint8_t> request;
    std::vector<uint8_t> answer;
    bool fits;
};

class AnswerFitsTest : public testing::TestWithParam<FitCase> {};

TEST_P(AnswerFitsTest, TellsTheAnswerToThisRequestFromAnyOther) {
    const FitCase& c = GetParam();
    EXPECT_EQ(AnswerFits(c.request.data(), c.request.size(), c.answer.data(), c.answer.size()),
              c.fits);
}

// Hourly records from slot 16 back, 3 asked; kind 0.
const std::vector<uint8_t> kChunk = Framed({0x05, 0x41, 0x00, 0x01, 0x10, 0x00, 0x03});
// The first chunk round the ring's start: slot 1 back, 3 asked.
const std::vector<uint8_t> kChunkOverStart = Framed({0x05, 0x41, 0x00, 0x01, 0x01, 0x00, 0x03});
const std::vector<uint8_t> kHolding = Framed({0x05, 0x03, 0x00, 0x00, 0x00, 0x10});
const std::vector<uint8_t> kWriteClear = Framed({0x05, 0x10, 0x00, 0x06, 0x00, 0x01, 0x02, 0, 1});

INSTANTIATE_TEST_SUITE_P(
    Answers, AnswerFitsTest,
    testing::Values(
        FitCase{"ChunkEndingWhereItsStartSays", kChunk, ArchiveAnswer(0, 13, 3), true},
        FitCase{"ChunkShortOfTheRingsOldest", kChunk, ArchiveAnswer(0, 14, 2), true},
        FitCase{"TheChunkBefore", kChunk, ArchiveAnswer(0, 16, 3), false},
        FitCase{"ChunkOfAnotherKind", kChunk, ArchiveAnswer(1, 13, 3), false},
        FitCase{"MoreRecordsThanAsked", kChunk, ArchiveAnswer(0, 12, 4), false},
        FitCase{"RoundTheRingsStartTheReaderJudges", kChunkOverStart, ArchiveAnswer(0, 2046, 3),
                true},
        FitCase{"RegistersAsAsked", kHolding,
                [] {
                    std::vector<uint8_t> a = {0x05, 0x03, 32};
                    a.resize(3 + 32, 0x22);
                    return Framed(a);
                }(),
                true},
        FitCase{"RegisterCountOfAnotherRead", kHolding,
                Framed(std::vector<uint8_t>{0x05, 0x03, 0x80}), false},
        FitCase{"WriteEcho", kWriteClear, Framed({0x05, 0x10, 0x00, 0x06, 0x00, 0x01}), true},
        FitCase{"EchoOfAnotherWrite", kWriteClear, Framed({0x05, 0x10, 0x00, 0x00, 0x00, 0x06}),
                false},
        FitCase{"ExceptionOfTheFunction", kChunk, Framed({0x05, 0xC1, 0x02}), true},
        FitCase{"OtherAddress", kWriteClear, Framed({0x06, 0x10, 0x00, 0x06, 0x00, 0x01}), false},
        FitCase{"LongerThanItsHeaderSays", kChunk,
                [] {
                    std::vector<uint8_t> a = ArchiveAnswer(0, 13, 3);
                    a.insert(a.end() - 2, 0x00);
                    return a;
                }(),
                false}),
    [](const testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

}  // namespace

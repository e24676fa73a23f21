// The account of answers a link owes: what arrives is sorted into the
// answer to the request under way, late answers to owed requests, stale
// frames and bytes that begin nothing.
#include "AnswerLedger.h"

#include "CaseNames.h"
#include "Crc16.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ZQ_PRINT_CASES_BY_NAME

using Bytes = std::vector<uint8_t>;

Bytes Framed(Bytes frame) {
    const uint16_t crc = Crc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

// A chunk of 3 hourly records from slot `start` back, and its answer.
Bytes Chunk(uint16_t start) {
    return Framed({0x05, 0x41, 0x00, 0x01, static_cast<uint8_t>(start),
                   static_cast<uint8_t>(start >> 8), 0x03});
}
Bytes ChunkAnswer(uint16_t start) {
    const uint16_t end = static_cast<uint16_t>(start - 3);
    Bytes a = {0x05, 0x41, 0x00, 0x00, static_cast<uint8_t>(end), static_cast<uint8_t>(end >> 8),
               0x03};
    for (int i = 0; i < 48; ++i) {
        a.push_back(static_cast<uint8_t>(start + i));
    }
    return Framed(a);
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

// Sorts `bytes` as a worker does: every whole frame in turn, an owed one
// settled; then what is left. E.g. "owed 7, answer" or "junk 5, pending".
std::string Sort(AnswerLedger& ledger, Bytes bytes, bool underWay) {
    std::string out;
    auto add = [&](const std::string& text) { out += (out.empty() ? "" : ", ") + text; };
    for (;;) {
        const AnswerLedger::Scan scan = ledger.Examine(bytes.data(), bytes.size(), underWay);
        if (!scan.frame) {
            if (scan.junk > 0) {
                add("junk " + std::to_string(scan.junk));
            }
            if (scan.pending) {
                add("pending");
            }
            return out;
        }
        const AnswerLedger::Frame& f = *scan.frame;
        if (f.start > 0) {
            add("junk " + std::to_string(f.start));
        }
        switch (f.kind) {
            case AnswerLedger::FrameKind::Answer:
                add("answer");
                return out;
            case AnswerLedger::FrameKind::Owed:
                add("owed " + std::to_string(f.packetId));
                ledger.Settle(f);
                break;
            case AnswerLedger::FrameKind::Stale:
                add("stale");
                break;
        }
        bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(f.start + f.length));
    }
}

struct LedgerCase {
    const char* name;
    std::vector<Bytes> owed;  // requests that timed out, oldest first: packet ids 1, 2, ...
    Bytes request;            // under way, packet id 9
    Bytes received;
    bool underWay;
    const char* sorted;
};

class AnswerLedgerTest : public testing::TestWithParam<LedgerCase> {};

TEST_P(AnswerLedgerTest, SortsWhatArrives) {
    const LedgerCase& c = GetParam();
    AnswerLedger ledger;
    int id = 0;
    for (const Bytes& r : c.owed) {
        ledger.Begin(r.data(), r.size(), ++id);
        ledger.Owe();
    }
    ledger.Begin(c.request.data(), c.request.size(), 9);
    EXPECT_EQ(Sort(ledger, c.received, c.underWay), c.sorted);
}

Bytes Head(Bytes b, size_t n) {
    b.resize(n);
    return b;
}

Bytes SpoiltCrc(Bytes b) {
    b.back() ^= 0x55;
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Links, AnswerLedgerTest,
    testing::Values(
        LedgerCase{"TheAnswer", {}, Chunk(16), ChunkAnswer(16), true, "answer"},
        LedgerCase{"LateAnswerThenTheAnswer",
                   {Chunk(16)},
                   Chunk(13),
                   Join({ChunkAnswer(16), ChunkAnswer(13)}),
                   true,
                   "owed 1, answer"},
        LedgerCase{
            "LateAnswerAloneIsNoAnswer", {Chunk(16)}, Chunk(13), ChunkAnswer(16), true, "owed 1"},
        LedgerCase{"EitherAnswerOfARetry", {Chunk(16)}, Chunk(16), ChunkAnswer(16), true, "answer"},
        LedgerCase{"AnsweredInOrderSoEarlierOnesAreLost",
                   {Chunk(19), Chunk(16)},
                   Chunk(13),
                   Join({ChunkAnswer(16), ChunkAnswer(19), ChunkAnswer(13)}),
                   true,
                   "owed 2, stale, answer"},
        LedgerCase{"StaleFrame", {}, Chunk(13), ChunkAnswer(16), true, "stale"},
        LedgerCase{"FalseHeaderBeforeTheAnswer",
                   {},
                   Chunk(16),
                   Join({Bytes{0x05, 0x41, 0x00, 0x00, 0x00, 0x00, 0xFF}, ChunkAnswer(16)}),
                   true,
                   "junk 7, answer"},
        LedgerCase{"CrcFailsThenTheAnswer",
                   {},
                   Chunk(16),
                   Join({SpoiltCrc(ChunkAnswer(16)), ChunkAnswer(16)}),
                   true,
                   "junk 57, answer"},
        LedgerCase{"ModemTextBeforeTheAnswer",
                   {},
                   Chunk(16),
                   Join({Bytes{'O', 'K', '\r', '\n'}, ChunkAnswer(16)}),
                   true,
                   "junk 4, answer"},
        LedgerCase{"PartOfTheAnswer", {}, Chunk(16), Head(ChunkAnswer(16), 20), true, "pending"},
        LedgerCase{
            "ThereBeforeTheRequestWentOut", {}, Chunk(16), ChunkAnswer(16), false, "junk 57"},
        LedgerCase{"LateAnswerThereBeforeTheRequest",
                   {Chunk(16)},
                   Chunk(16),
                   ChunkAnswer(16),
                   false,
                   "owed 1"}),
    [](const testing::TestParamInfo<LedgerCase>& info) { return std::string(info.param.name); });

// Clear forgets what was owed: after a new connection a frame that fits an
// old request is no late answer any more.
TEST(AnswerLedgerClear, ForgetsWhatWasOwed) {
    AnswerLedger ledger;
    const Bytes old = Chunk(16);
    ledger.Begin(old.data(), old.size(), 1);
    ledger.Owe();
    ledger.Clear();
    const Bytes next = Chunk(13);
    ledger.Begin(next.data(), next.size(), 2);
    EXPECT_EQ(Sort(ledger, ChunkAnswer(16), true), "stale");
    EXPECT_EQ(ledger.OwedCount(), 0u);
}

}  // namespace

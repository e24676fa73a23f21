// Where a device's ring meets the history read before: which device records
// are new, where the read may end, and the history they grow, for the ways
// a ring can differ from what the history last saw of it.
#include "HistoryJoin.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ZQ_PRINT_CASES_BY_NAME

// An hourly record of hour `hour` after 1 December 2026 00:00 whose data
// bytes carry `tag`; hour -1 is an erased slot.
struct R {
    int hour;
    int tag;
    bool operator==(const R&) const = default;
};
constexpr R kErased{-1, 0};

HistoryJoin::Record Bytes(R r) {
    HistoryJoin::Record b{};
    if (r.hour < 0) {
        b.fill(0xFF);
        return b;
    }
    b = {26,
         12,
         static_cast<uint8_t>(1 + r.hour / 24),
         static_cast<uint8_t>(r.hour % 24),
         static_cast<uint8_t>(r.tag),
         0x40,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         0};
    return b;
}

R FromBytes(const HistoryJoin::Record& b) {
    if (b[0] == 0xFF) {
        return kErased;
    }
    return {(b[2] - 1) * 24 + b[3], b[4]};
}

std::vector<HistoryJoin::Record> AllBytes(const std::vector<R>& list) {
    std::vector<HistoryJoin::Record> out;
    for (R r : list) {
        out.push_back(Bytes(r));
    }
    return out;
}

struct JoinCase {
    const char* name;
    std::vector<R> document;  // newest first
    std::vector<R> device;    // newest first, as the ring is read
    std::vector<R> fresh;     // the device records found new
    int joinIndex;            // in the document; -1 = no join
    std::vector<R> merged;
    size_t changed;
};

class HistoryJoinCase : public testing::TestWithParam<JoinCase> {};

TEST_P(HistoryJoinCase, KeepsOnlyWhatIsNewAndGrowsTheHistory) {
    const JoinCase& c = GetParam();
    HistoryJoin join(AllBytes(c.document), HistoryJoin::kArchiveStampSize);
    std::vector<R> fresh;
    std::vector<HistoryJoin::Record> freshBytes;
    for (R r : c.device) {
        const HistoryJoin::Record bytes = Bytes(r);
        if (join.Offer(bytes.data())) {
            fresh.push_back(r);
            freshBytes.push_back(bytes);
        }
    }
    EXPECT_EQ(fresh, c.fresh);
    EXPECT_EQ(join.Joined(), c.joinIndex >= 0);
    EXPECT_EQ(join.JoinIndex(), c.joinIndex >= 0 ? size_t(c.joinIndex) : c.document.size());
    size_t changed = 99;
    std::vector<R> merged;
    for (const HistoryJoin::Record& b : join.Merge(freshBytes, changed)) {
        merged.push_back(FromBytes(b));
    }
    EXPECT_EQ(merged, c.merged);
    EXPECT_EQ(changed, c.changed);
}

const std::vector<R> kDocument = {{10, 1}, {9, 1}, {8, 1}, {7, 1}};

INSTANTIATE_TEST_SUITE_P(
    Rings, HistoryJoinCase,
    testing::Values(JoinCase{"AnchorPresent",
                             kDocument,
                             {{12, 1}, {11, 1}, {10, 1}, {9, 1}},
                             {{12, 1}, {11, 1}},
                             0,
                             {{12, 1}, {11, 1}, {10, 1}, {9, 1}, {8, 1}, {7, 1}},
                             0},
                    // Hour 10 now reads with another flag byte: the document's
                    // hour 10 stays, the device's is not added; the join is hour 9.
                    JoinCase{"AnchorByteFlipped",
                             kDocument,
                             {{11, 1}, {10, 2}, {9, 1}, {8, 1}},
                             {{11, 1}, {10, 2}},
                             1,
                             {{11, 1}, {10, 1}, {9, 1}, {8, 1}, {7, 1}},
                             1},
                    // Hour 10's slot and a new one were erased: hour 10 stays as the
                    // document has it.
                    JoinCase{"ErasedSlots",
                             kDocument,
                             {kErased, {11, 1}, kErased, {9, 1}, {8, 1}},
                             {{11, 1}},
                             1,
                             {{11, 1}, {10, 1}, {9, 1}, {8, 1}, {7, 1}},
                             0},
                    // Set back to hour 9 after the document was read (hour 10's slot
                    // lost too): the new hour 9 is a record of its own, kept beside the
                    // old one.
                    JoinCase{"ClockSetBack",
                             kDocument,
                             {{9, 2}, kErased, {9, 1}, {8, 1}},
                             {{9, 2}},
                             1,
                             {{9, 2}, {10, 1}, {9, 1}, {8, 1}, {7, 1}},
                             0},
                    JoinCase{"RingWrappedPastTheDocument",
                             kDocument,
                             {{14, 1}, {13, 1}, {12, 1}, {11, 1}},
                             {{14, 1}, {13, 1}, {12, 1}, {11, 1}},
                             -1,
                             {{14, 1}, {13, 1}, {12, 1}, {11, 1}, {10, 1}, {9, 1}, {8, 1}, {7, 1}},
                             0},
                    // Another unit carrying the same serial number: no record in common;
                    // only its hour 11 is new, the document's hours 10 and 9 stay,
                    // none twice.
                    JoinCase{"OtherDevicesRecordsUnderTheSameSerial",
                             kDocument,
                             {{11, 5}, {10, 5}, {9, 5}},
                             {{11, 5}, {10, 5}, {9, 5}},
                             -1,
                             {{11, 5}, {10, 1}, {9, 1}, {8, 1}, {7, 1}},
                             2},
                    JoinCase{"EmptyDocumentList",
                             {},
                             {{2, 1}, kErased, {1, 1}},
                             {{2, 1}, {1, 1}},
                             -1,
                             {{2, 1}, {1, 1}},
                             0}),
    [](const testing::TestParamInfo<JoinCase>& info) { return std::string(info.param.name); });

}  // namespace

#include "DeviceContent.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

using namespace zqsim;

namespace {

const CivilTime kClock{2026, 3, 1, 0, 30, 0};  // just after a month, a day and an hour ended

ContentOptions Options(int hour, int day, int month, int journal) {
    ContentOptions o;
    o.seed = 7;
    o.rings[kHourRing] = {hour, 40, 35};  // wraps round the end
    o.rings[kDayRing] = {day, 100, 0};
    o.rings[kMonthRing] = {month, 64, 60};
    o.rings[kJournalRing] = {journal, 500, 490};
    return o;
}

int64_t Stamp(const Record& r, bool withTime) {
    CivilTime t{2000 + r[0],        r[1], r[2], withTime ? r[3] : 0, withTime ? r[4] : 0,
                withTime ? r[5] : 0};
    EXPECT_TRUE(IsValidCivil(t)) << "record date " << +r[0] << "-" << +r[1] << "-" << +r[2];
    return ToCivilSeconds(t);
}

float VPlus(const Record& r) {
    float f;
    std::memcpy(&f, &r[4], 4);  // little-endian on this host as on the wire
    return f;
}

uint32_t Work(const Record& r) {
    return r[12] | (r[13] << 8) | (r[14] << 16);
}

TEST(DeviceContent, ArchivesStepBackOnePeriodFromTheClock) {
    const DeviceContent c = GenerateContent(Options(30, 20, 15, 0), kClock);
    struct Row {
        int kind;
        CivilTime newest;
    } rows[] = {
        {kHourRing, {2026, 2, 28, 23, 0, 0}},
        {kDayRing, {2026, 2, 28, 0, 0, 0}},
        {kMonthRing, {2026, 2, 1, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        const RingMemory& ring = c.rings[row.kind];
        const std::vector<uint16_t> order = ring.ReadOrder();
        ASSERT_FALSE(order.empty());
        CivilTime expected = row.newest;
        for (size_t i = 0; i < order.size(); ++i) {
            const Record& r = ring.slots[order[i]];
            const CivilTime got{2000 + r[0], r[1], r[2], r[3], 0, 0};
            ASSERT_EQ(got, expected) << "ring " << row.kind << " record " << i;
            if (row.kind == kHourRing) {
                expected = FromCivilSeconds(ToCivilSeconds(expected) - 3600);
            } else if (row.kind == kDayRing) {
                expected = FromCivilSeconds(ToCivilSeconds(expected) - 86400);
            } else {
                expected.month -= 1;
                expected = FromCivilSeconds(ToCivilSeconds(expected));
            }
            if (i + 1 < order.size()) {
                const Record& older = ring.slots[order[i + 1]];
                EXPECT_GE(VPlus(r), VPlus(older)) << "V+ grows towards the newest";
                EXPECT_GE(Work(r), Work(older)) << "operating time grows towards the newest";
                EXPECT_EQ(r[15] & 0xF0, 0) << "flags use bits 0..3";
            }
        }
    }
    EXPECT_EQ(c.rings[kHourRing].oldest, 35);
    EXPECT_EQ(c.rings[kHourRing].next, 25);  // (35 + 30) mod 40
}

TEST(DeviceContent, JournalEventsCarryValueTypesThatSuitTheirCodes) {
    const DeviceContent c = GenerateContent(Options(0, 0, 0, 400), kClock);
    // Codes with a fixed value type; other codes just need a type 0..10.
    const std::map<int, std::set<int>> typesOf = {
        {0, {0, 9}}, {1, {1}},   {2, {1}},   {3, {9}},  {16, {0}},
        {17, {4}},   {32, {10}}, {33, {10}}, {34, {6}},
    };
    const RingMemory& ring = c.rings[kJournalRing];
    std::set<int> codes;
    std::set<int> types;
    int64_t newer = ToCivilSeconds(kClock);
    for (uint16_t index : ring.ReadOrder()) {
        const Record& r = ring.slots[index];
        const int code = (r[6] | (r[7] << 8)) & 0x0FFF;
        const int type = r[7] >> 4;
        codes.insert(code);
        types.insert(type);
        EXPECT_LE(type, 10);
        auto fixed = typesOf.find(code);
        if (fixed != typesOf.end()) {
            EXPECT_TRUE(fixed->second.count(type)) << "code " << code << " type " << type;
        }
        if (type == 9) {  // the embedded time must be a real one
            Record embedded{};
            std::memcpy(embedded.data(), &r[8], 6);
            Stamp(embedded, true);
        }
        const int64_t when = Stamp(r, true);
        EXPECT_LE(when, newer) << "events run back in time";
        newer = when;
    }
    for (int code : {0, 1, 2, 3, 16, 17, 32, 33, 34}) {
        EXPECT_TRUE(codes.count(code)) << "code " << code << " never drawn";
    }
    EXPECT_EQ(types.size(), 11u) << "every value type 0..10 appears";
}

TEST(DeviceContent, SeedDecidesTheBytes) {
    const ContentOptions a = Options(30, 20, 15, 40);
    ContentOptions b = a;
    b.seed = 8;
    const DeviceContent first = GenerateContent(a, kClock);
    const DeviceContent again = GenerateContent(a, kClock);
    const DeviceContent other = GenerateContent(b, kClock);
    for (int kind = 0; kind < kRingKinds; ++kind) {
        EXPECT_EQ(first.rings[kind].slots, again.rings[kind].slots) << "ring " << kind;
        EXPECT_NE(first.rings[kind].slots, other.rings[kind].slots) << "ring " << kind;
    }
    EXPECT_EQ(first.current.serial, again.current.serial);
}

TEST(DeviceContent, ErasedSlotsStayInsideTheRecords) {
    ContentOptions o = Options(30, 20, 15, 40);
    o.emptyCount = 3;
    const DeviceContent some = GenerateContent(o, kClock);
    o.emptyCount = 0;
    o.emptyProbability = 1.0;
    const DeviceContent all = GenerateContent(o, kClock);
    for (int kind = 0; kind < kRingKinds; ++kind) {
        int erased = 0;
        for (uint16_t index : some.rings[kind].ReadOrder()) {
            erased += some.rings[kind].slots[index] == ErasedRecord();
        }
        EXPECT_GE(erased, 1) << "ring " << kind;
        EXPECT_LE(erased, 3) << "ring " << kind;
        EXPECT_EQ(some.rings[kind].Count(), o.rings[kind].records) << "pointers unchanged";
        for (uint16_t index : all.rings[kind].ReadOrder()) {
            EXPECT_EQ(all.rings[kind].slots[index], ErasedRecord());
        }
    }
}

// The same device a month on: the earlier rings' records stay as they were
// behind the new ones (one per hour, day and month that ended, in order), a
// full ring losing its oldest; the counters have run on.
TEST(DeviceContent, LaterDaysAddTheRecordsOfTheDaysSince) {
    const ContentOptions before = Options(30, 20, 15, 40);
    ContentOptions after = before;
    after.laterDays = 31;  // to 1 April, 00:30
    const CivilTime monthOn = FromCivilSeconds(ToCivilSeconds(kClock) + 31 * 86400);
    const DeviceContent then = GenerateContent(before, kClock);
    const DeviceContent now = GenerateContent(after, monthOn);
    const struct {
        int kind;
        size_t added;
    } rows[] = {{kHourRing, 744}, {kDayRing, 31}, {kMonthRing, 1}};
    for (const auto& row : rows) {
        std::vector<Record> old;
        for (uint16_t index : then.rings[row.kind].ReadOrder()) {
            old.push_back(then.rings[row.kind].slots[index]);
        }
        std::vector<Record> all;
        for (uint16_t index : now.rings[row.kind].ReadOrder()) {
            all.push_back(now.rings[row.kind].slots[index]);
        }
        const size_t size = now.rings[row.kind].slots.size();
        // The hourly ring of 40 slots keeps only the newest 39 records.
        ASSERT_EQ(all.size(), std::min(old.size() + row.added, size - 1)) << "ring " << row.kind;
        for (size_t i = 0; i < all.size(); ++i) {
            if (i >= row.added) {
                EXPECT_EQ(all[i], old[i - row.added]) << "ring " << row.kind << " record " << i;
            } else if (i + 1 < all.size()) {
                const Record& older = all[i + 1];
                // An archive record's period start: its date and, hourly, its hour.
                EXPECT_GT(Stamp(all[i], false) + all[i][3] * 3600,
                          Stamp(older, false) + older[3] * 3600)
                    << "ring " << row.kind;
                EXPECT_GE(VPlus(all[i]), VPlus(older)) << "ring " << row.kind;
                EXPECT_GE(Work(all[i]), Work(older)) << "ring " << row.kind;
            }
        }
    }
    // Journal events keep coming, newest first.
    const RingMemory& journal = now.rings[kJournalRing];
    EXPECT_GT(journal.Count(), then.rings[kJournalRing].Count() + 31);
    EXPECT_GT(Stamp(journal.slots[journal.NewestIndex()], true), ToCivilSeconds(kClock));
    EXPECT_LE(Stamp(journal.slots[journal.NewestIndex()], true), ToCivilSeconds(monthOn));
    EXPECT_GE(now.current.vPlus, then.current.vPlus);
    EXPECT_EQ(now.current.twork, then.current.twork + 31 * 1440);
}

TEST(RingMemory, CountsAndOrderFollowTheDevicePointers) {
    struct Row {
        const char* name;
        size_t size;
        uint16_t oldest;
        int records;
        uint16_t count;
        uint16_t newest;
    } rows[] = {
        {"empty at 0", 100, 0, 0, 0, 99},
        {"h 99, o 50, n 10", 100, 50, 60, 60, 9},
        {"full, unwrapped", 5, 0, 4, 4, 3},
        {"single slot", 1, 0, 0, 0, 0},
    };
    for (const Row& row : rows) {
        const RingMemory ring =
            RingMemory::Make(row.size, row.oldest, std::vector<Record>(row.records, Record{}));
        EXPECT_EQ(ring.Count(), row.count) << row.name;
        EXPECT_EQ(ring.NewestIndex(), row.newest) << row.name;
        const std::vector<uint16_t> order = ring.ReadOrder();
        ASSERT_EQ(order.size(), row.count) << row.name;
        if (!order.empty()) {
            EXPECT_EQ(order.front(), row.newest) << row.name;
            EXPECT_EQ(order.back(), row.oldest) << row.name;
        }
    }
}

TEST(CivilTime, ParsesAndCarries) {
    CivilTime t;
    EXPECT_TRUE(ParseCivil("2028-02-29T23:59:59", t));
    EXPECT_EQ(FromCivilSeconds(ToCivilSeconds(t) + 1), (CivilTime{2028, 3, 1, 0, 0, 0}));
    EXPECT_TRUE(ParseCivil("2026-12-08 14:05:09", t));
    EXPECT_FALSE(ParseCivil("2026-02-29T00:00:00", t));
    EXPECT_FALSE(ParseCivil("2026-12-08T14:05:09Z", t));
    EXPECT_FALSE(ParseCivil("2026-12-08", t));
    // Month 0 of 2026 is December 2025.
    EXPECT_EQ(FromCivilSeconds(ToCivilSeconds({2026, 0, 1, 0, 0, 0})),
              (CivilTime{2025, 12, 1, 0, 0, 0}));
}

}  // namespace

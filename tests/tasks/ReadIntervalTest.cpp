// The read interval: the rule of one ring on hand-made answers (empty slots,
// unreadable dates, a clock set back), and whole reads of the simulated
// device with each choice, compared with a read of the whole archive.
#include "AnswerFrames.h"
#include "ArchiveFile.h"
#include "DeviceModel.h"
#include "ReadInterval.h"
#include "Settings.h"
#include "TaskHarness.h"
#include "ZQReadAllParamsTask.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

ZQ_PRINT_CASES_BY_NAME

using answers::Record;
using ZQ_namespace::akDay;
using ZQ_namespace::akHour;
using ZQ_namespace::akJournal;
using ZQ_namespace::akMonth;

// --- one ring's rule -----------------------------------------------------------

// A record dated 2026-12-`day` (0 = an invalid date, -1 = an erased slot)
// whose bytes 4..6 carry `tag`.
Record Dated(int day, uint32_t tag) {
    if (day < 0) {
        return answers::EmptySlot();
    }
    return answers::ArchiveRecord(tag, static_cast<uint8_t>(day));
}

TDateTime Dec(int day) {
    TDateTime value = 0;
    TryEncodeDate(2026, 12, day, value);
    return value;
}

struct RuleCase {
    const char* name;
    RingReadRule rule;
    std::vector<std::vector<int>> answers;  // the days of each answer, newest first
    std::vector<uint32_t> kept;             // tags (answer * 100 + position)
    int endsAfter;                          // the answer the read ends with; -1 = none
    bool clockWentBack;
};

class RingRule : public testing::TestWithParam<RuleCase> {};

TEST_P(RingRule, KeepsAndEndsAsTheIntervalSays) {
    const RuleCase& c = GetParam();
    RingReadRule rule = c.rule;
    std::vector<uint32_t> kept;
    int endsAfter = -1;
    for (size_t a = 0; a < c.answers.size() && endsAfter < 0; ++a) {
        for (size_t i = 0; i < c.answers[a].size(); ++i) {
            const uint32_t tag = static_cast<uint32_t>(a * 100 + i);
            if (rule.Offer(Dated(c.answers[a][i], tag).data())) {
                kept.push_back(tag);
            }
        }
        if (rule.EndOfAnswer()) {
            endsAfter = static_cast<int>(a);
        }
    }
    EXPECT_EQ(kept, c.kept);
    EXPECT_EQ(endsAfter, c.endsAfter);
    EXPECT_EQ(rule.ClockWentBack(), c.clockWentBack);
}

// The document of the missing-part rows: day 10 tag 102, then day 9 tag 200.
RingReadRule AfterDocument() {
    return RingReadRule::After(
        HistoryJoin({Dated(10, 102), Dated(9, 200)}, HistoryJoin::kArchiveStampSize));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, RingRule,
    testing::Values(RuleCase{"WholeKeepsAllButEmptySlots",
                             RingReadRule(),
                             {{20, -1, 0}, {3}},
                             {0, 2, 100},
                             -1,
                             false},
                    RuleCase{"PeriodEndsAtTheFirstAnswerBeforeItsStart",
                             RingReadRule::Period(Dec(10), Dec(12), Dec(31)),
                             {{14, 13, 12}, {11, 10, 9}, {8, 7, 6}, {5}},
                             {2, 100, 101},
                             2,
                             false},
                    // Empty slots and undated records say nothing of where the interval is.
                    RuleCase{"EmptyAndUndatedNeitherKeptNorEnding",
                             RingReadRule::Period(Dec(10), Dec(12), Dec(31)),
                             {{11, -1}, {-1, 0}, {0, 9, -1}},
                             {0},
                             2,
                             false},
                    // Day 15 after day 9: the clock was set back, days of the interval
                    // may lie further on: the ring is read to its end.
                    RuleCase{"ClockSetBackReadsToTheEnd",
                             RingReadRule::Period(Dec(10), Dec(12), Dec(31)),
                             {{11, 9}, {15, 12}, {8, 7}, {5}},
                             {0, 101},
                             -1,
                             true},
                    RuleCase{"RecordAfterTheDeviceDateReadsToTheEnd",
                             RingReadRule::Period(Dec(10), Dec(12), Dec(20)),
                             {{21, 11}, {9, 8}},
                             {1},
                             -1,
                             true},
                    // Records of the newest document record's own day are new too.
                    RuleCase{"MissingPartEndsWithTheDocumentsNewest",
                             AfterDocument(),
                             {{12, 11, 10}, {10, -1, 10, 10}, {9}},
                             {0, 1, 2, 100},
                             1,
                             false},
                    // A clock set back after the document: new records dated before its
                    // newest are kept all the same.
                    RuleCase{"MissingPartKeepsRecordsDatedBeforeTheNewest",
                             AfterDocument(),
                             {{3, 2, 1}, {12, 10, 10}},
                             {0, 1, 2, 100, 101},
                             1,
                             false},
                    // The newest is gone: the read ends with the answer that
                    // holds an older document record.
                    RuleCase{"MissingPartWithoutTheNewestEndsAtAnOlderOne",
                             AfterDocument(),
                             {{12, 11}, {10, 9}, {9, 8}},
                             {0, 1, 100, 101},
                             2,
                             false},
                    RuleCase{"MissingPartWithoutAnyDocumentRecordKeepsAll",
                             AfterDocument(),
                             {{12, 11}, {10, 9}},
                             {0, 1, 100, 101},
                             -1,
                             false}),
    [](const testing::TestParamInfo<RuleCase>& info) { return std::string(info.param.name); });

// --- whole reads of the simulated device ------------------------------------------

const zqsim::CivilTime kThen{2024, 6, 1, 12, 0, 0};

zqsim::ContentOptions Content(int laterDays, int hourRing = 512) {
    zqsim::ContentOptions o;
    o.seed = 11;
    o.serial = 4711;
    o.rings[zqsim::kHourRing] = {300, hourRing, 0};
    o.rings[zqsim::kDayRing] = {62, 512, 500};  // wraps round the end
    o.rings[zqsim::kMonthRing] = {24, 128, 0};
    o.rings[zqsim::kJournalRing] = {64, 1024, 0};
    o.emptyCount = 1;
    o.laterDays = laterDays;
    return o;
}

struct DeviceRead {
    ZQValve valve;
    int state = tsStopped;
    int archiveRequests = 0;
    int records[4] = {};  // per kind: the records the answers carried
    uint16_t totals[4] = {};
    std::vector<std::string> notes;
    std::string status;
    int waitedTicks = 0;  // ticks spent waiting for the answer on another device
};

// Reads the device that `options` make, `laterDays` after kThen, with the
// task over the fake channel, every request answered at once by the device.
// A task that asks about another device is told yes after 5 ticks.
DeviceRead Read(const zqsim::ContentOptions& options, int interval,
                const ZQValve* document = nullptr, TDateTime start = 0, TDateTime finish = 0,
                OtherDeviceChoice choice = OtherDeviceChoice::Refuse) {
    const int64_t clock = zqsim::ToCivilSeconds(kThen) + options.laterDays * 86400LL;
    zqsim::DeviceModel device({}, zqsim::GenerateContent(options, zqsim::FromCivilSeconds(clock)),
                              [clock] { return clock; });
    DeviceRead read;
    TaskHarness<ZQReadAllParamsTask> h(&read.valve, document);
    ReadSettingsStruct settings;
    settings.ReadInterval = interval;
    settings.StartInterval = start;
    settings.FinishInterval = finish;
    h.task->SetReadSettings(settings);
    h.task->SetOtherDeviceChoice(choice);
    h.Connect();
    size_t answered = 0;
    for (int tick = 0; tick < 5000 && h.task->GetState() == tsRunning; ++tick) {
        h.Tick();
        if (h.task->AwaitsOtherDeviceAnswer() && ++read.waitedTicks == 5) {
            h.task->ReadOtherDeviceWhole();
        }
        while (answered < h.SentCount()) {
            const FakeChanel::Packet& p = h.Chanel().sent[answered++];
            const std::vector<uint8_t> answer = device.Answer(p.bytes.data(), p.bytes.size());
            if (p.bytes[1] == 65 && answer.size() > 7 && answer[1] == 65) {
                ++read.archiveRequests;
                read.records[answer[2] & 3] += answer[6];
            }
            h.Chanel().InjectAnswer(answer, p.packetId);
        }
        if (h.Chanel().closeCalls > 0 && h.task->GetState() == tsRunning) {
            h.Chanel().InjectState(csDisconnected);
        }
    }
    read.state = h.task->GetState();
    for (int kind = 0; kind < 4; ++kind) {
        read.totals[kind] = h.task->GetPlan(kind).total;
    }
    read.notes = h.task->GetReadNotes();
    read.status = h.task->GetStatusText();
    return read;
}

template <class List>
List Dated(const List& list, TDateTime first, TDateTime last) {
    List out;
    for (const auto& record : list) {
        TDateTime day = 0;
        if (RecordDay(record.Bytes(), day) && day >= first && day <= last) {
            out.push_back(record);
        }
    }
    return out;
}

class ReadIntervalTest : public testing::Test {
protected:
    void SetUp() override { ResetSettingsStore(); }
};

// "Заданный интервал": the lists hold exactly the whole read's records of
// those days; a ring is read only as far as the interval's start, and the
// plan's totals are what was read.
TEST_F(ReadIntervalTest, PeriodKeepsTheDaysOfTheWholeRead) {
    const DeviceRead whole = Read(Content(0), riWhole);
    ASSERT_EQ(whole.state, tsDone);
    ASSERT_EQ(whole.valve.HourArchive.size(), 299u);
    // Hourly records reach back to 19 May 2024, daily to 31 March, monthly
    // to June 2022; the device's date is 1 June 2024.
    const struct {
        const char* name;
        int firstDay, lastDay;  // days of May 2024 (0 = 30 April)
        bool fewerRequests;
        bool someRecords;
    } rows[] = {{"InsideTheHourlyRing", 25, 28, true, true},
                {"BeforeAllRecords", -1000, -900, false, false},
                {"AfterAllRecords", 40, 45, true, false},
                {"DatesGivenTheOtherWayRound", 28, 25, true, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TDateTime may0 = 0;
        TryEncodeDate(2024, 4, 30, may0);
        const TDateTime first = may0 + row.firstDay;
        const TDateTime last = may0 + row.lastDay;
        const DeviceRead read = Read(Content(0), riPeriod, nullptr, first, last);
        ASSERT_EQ(read.state, tsDone);
        const TDateTime from = std::min(first, last);
        const TDateTime to = std::max(first, last);
        EXPECT_EQ(read.valve.HourArchive, Dated(whole.valve.HourArchive, from, to));
        EXPECT_EQ(read.valve.DayArchive, Dated(whole.valve.DayArchive, from, to));
        EXPECT_EQ(read.valve.MonthArchive, Dated(whole.valve.MonthArchive, from, to));
        EXPECT_EQ(read.valve.Journal, Dated(whole.valve.Journal, from, to));
        EXPECT_EQ(!read.valve.HourArchive.empty() && !read.valve.DayArchive.empty() &&
                      !read.valve.Journal.empty(),
                  row.someRecords);
        EXPECT_EQ(read.archiveRequests < whole.archiveRequests, row.fewerRequests);
        for (int kind = 0; kind < 4; ++kind) {
            EXPECT_EQ(read.totals[kind], read.records[kind]) << "kind " << kind;
        }
        EXPECT_TRUE(read.notes.empty());
    }
}

// "Недостающая часть архива": last month's document grown by what the same
// device wrote since is the file a whole read gives, byte for byte, while
// the device still holds everything (but for a record the device changed
// since, which stays as the document has it); once its ring wrapped past the
// document's
// oldest records they stay in the document. Another device's document is
// refused before any archive is asked for, or read whole when the owner
// says so; no document gives the whole read and a note.
TEST_F(ReadIntervalTest, MissingPartGrowsTheDocument) {
    const DeviceRead then = Read(Content(0, 400), riWhole);
    ASSERT_EQ(then.state, tsDone);
    ZQValve otherDevice = then.valve;
    otherDevice.Current.Serial = 4712;
    // The device's newest hourly record of then, as the document has it, with
    // one flag bit more.
    ZQValve flipped = then.valve;
    flipped.HourArchive[0].flags ^= 0x08;
    using enum OtherDeviceChoice;
    const struct {
        const char* name;
        int laterDays;
        const ZQValve* document;
        OtherDeviceChoice choice;
        int state;
        bool merged;          // else the whole read, or nothing on an error
        int archiveRequests;  // at most
        const char* note;     // in the notes, or in the status of an error
    } rows[] = {
        {"NothingNew", 0, &then.valve, Refuse, tsDone, true, 4, ""},
        {"AFewNewRecords", 2, &then.valve, Refuse, tsDone, true, 8, ""},
        {"DocumentsNewestChangedSince", 2, &flipped, Refuse, tsDone, true, 8, "не добавлены"},
        // 120 new hourly records push the oldest out of the ring of 399.
        {"RingWrappedPastTheDocumentsOldest", 5, &then.valve, Refuse, tsDone, true, 12, ""},
        {"AnotherDevicesDocumentRefused", 2, &otherDevice, Refuse, tsError, false, 0,
         "Документ прибора № 000004712, подключён прибор № 000004711"},
        {"AnotherDevicesDocumentReadWhole", 2, &otherDevice, ReadWhole, tsDone, false, 1000,
         "№ 000004712"},
        {"AnotherDevicesDocumentAsked", 2, &otherDevice, Ask, tsDone, false, 1000, "№ 000004712"},
        {"NoDocument", 2, nullptr, Refuse, tsDone, false, 1000, "документ не открыт"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const DeviceRead whole = Read(Content(row.laterDays, 400), riWhole);
        const DeviceRead read =
            Read(Content(row.laterDays, 400), riMissing, row.document, 0, 0, row.choice);
        ASSERT_EQ(read.state, row.state) << read.status;
        EXPECT_LE(read.archiveRequests, row.archiveRequests);
        EXPECT_EQ(read.waitedTicks > 0, row.choice == Ask);
        if (row.state == tsError) {
            EXPECT_NE(read.status.find(row.note), std::string::npos) << read.status;
            EXPECT_TRUE(read.notes.empty());
            continue;
        }
        for (int kind = 0; kind < 4; ++kind) {
            EXPECT_EQ(read.totals[kind], read.records[kind]) << "kind " << kind;
        }
        std::string notes;
        for (const std::string& note : read.notes) {
            notes += note + "\n";
        }
        if (*row.note == '\0') {
            EXPECT_EQ(notes, "");
        } else {
            EXPECT_NE(notes.find(row.note), std::string::npos) << notes;
        }
        if (!row.merged) {
            EXPECT_EQ(read.valve, whole.valve);
            continue;
        }
        if (row.laterDays < 5) {
            // A record the device changed since stays as the document has it.
            ZQValve expected = whole.valve;
            for (ZQ_namespace::ArchiveStruct& r : expected.HourArchive) {
                if (row.document == &flipped && r == then.valve.HourArchive[0]) {
                    r = flipped.HourArchive[0];
                }
            }
            EXPECT_EQ(EncodeArchiveFile(read.valve), EncodeArchiveFile(expected));
            continue;
        }
        // The device's records down to the document's newest, then the
        // whole document: more than the ring can hold.
        const auto& got = read.valve.HourArchive;
        const auto& device = whole.valve.HourArchive;
        const auto& document = then.valve.HourArchive;
        const auto newest = std::find(device.begin(), device.end(), document.front());
        ASSERT_NE(newest, device.end());
        ASSERT_EQ(got.size(), static_cast<size_t>(newest - device.begin()) + document.size());
        EXPECT_GT(got.size(), 399u);
        EXPECT_TRUE(std::equal(device.begin(), newest, got.begin()));
        EXPECT_TRUE(std::equal(document.begin(), document.end(), got.end() - document.size()));
        EXPECT_EQ(read.valve.DayArchive, whole.valve.DayArchive);
        EXPECT_EQ(read.valve.Journal, whole.valve.Journal);
    }
}

}  // namespace

// The read-all task over the fake channel: the read plan, the chunked
// archive reads, progress, and every content error.
#include "AnswerFrames.h"
#include "Settings.h"
#include "TaskHarness.h"
#include "ZQReadAllParamsTask.h"

#include "CaseNames.h"

#include <gtest/gtest.h>

namespace {

ZQ_PRINT_CASES_BY_NAME

using answers::Bytes;
using answers::Ring;
using ZQ_namespace::akDay;
using ZQ_namespace::akHour;
using ZQ_namespace::akJournal;
using ZQ_namespace::akMonth;

CurrentParamsStruct SampleParams() {
    CurrentParamsStruct p;
    TryEncodeDate(2026, 12, 8, p.Date);
    TryEncodeTime(14, 5, 9, 0, p.Time);
    p.Serial = 4242;
    p.G = 1.5f;
    p.Vd = 123.75;
    p.NSFlags = 5;
    return p;
}

class ReadAllTest : public testing::Test {
protected:
    void SetUp() override { ResetSettingsStore(); }

    // Connects and answers identification, current and setup parameters;
    // the task is then in step 5.
    void ReadParams(TaskHarness<ZQReadAllParamsTask>& h, const std::array<Ring, 4>& rings) {
        h.Connect();
        h.TickAndAnswer(answers::Ident());
        h.TickAndAnswer(answers::CurrentParams(SampleParams(), rings));
        SetupParamsStruct setup;
        setup.NetAddress = 7;
        h.TickAndAnswer(answers::SetupParams(setup));
        ASSERT_EQ(h.task->GetStep(), 5);
    }

    ZQValve valve;
};

TEST_F(ReadAllTest, ParametersAreDecodedIntoValve) {
    TaskHarness<ZQReadAllParamsTask> h(&valve);
    ReadParams(h, {});
    EXPECT_EQ(valve.Ident[2], 1);
    EXPECT_EQ(valve.Current, SampleParams());
    EXPECT_EQ(valve.Setup.NetAddress, 7);
    // Empty rings: steps 5..8 are skipped one per tick, then the close.
    h.Tick(4);
    EXPECT_EQ(h.task->GetStep(), 9);
    h.Tick();
    EXPECT_EQ(h.task->GetStatusText(), "Чтение параметров выполнено");
    EXPECT_EQ(h.Chanel().closeCalls, 1);
    h.Chanel().InjectState(csDisconnected);
    EXPECT_EQ(h.task->GetState(), tsDone);
    EXPECT_EQ(h.task->GetStatusText(), "Чтение параметров выполнено");
    EXPECT_EQ(h.task->GetPercent(), 100);
}

// 600 monthly records: chunks of 255, 255 and 90, each from the start index
// the device gave in the previous answer; progress moves after each chunk.
TEST_F(ReadAllTest, MonthlyArchiveInThreeChunks) {
    TaskHarness<ZQReadAllParamsTask> h(&valve);
    // Ring of 1000 slots, oldest 100, next 700: newest 699, 600 records.
    ReadParams(h, {Ring{}, Ring{}, Ring{999, 100, 700}, Ring{}});
    EXPECT_EQ(h.task->GetPlan(akMonth).total, 600);
    EXPECT_EQ(h.task->GetPercent(), (5 + 0) * 100 / (9 + 600));

    const struct {
        uint16_t start;
        uint8_t count;
        uint16_t next;
        int percent;
    } chunks[] = {{699, 255, 444, (5 + 255) * 100 / 609},
                  {444, 255, 189, (5 + 510) * 100 / 609},
                  {189, 90, 99, (6 + 600) * 100 / 609}};
    uint32_t tag = 0;
    for (const auto& c : chunks) {
        h.Tick();
        const Bytes& req = h.LastSent().bytes;
        ASSERT_EQ(req.size(), 9u);
        EXPECT_EQ(req[1], 65);
        EXPECT_EQ(req[2], akMonth);
        EXPECT_EQ(req[3], 1);
        EXPECT_EQ(req[4] | (req[5] << 8), c.start);
        EXPECT_EQ(req[6], c.count);
        EXPECT_EQ(h.task->GetStatusText(), "Чтение месячного архива");
        h.Answer(answers::Archive(akMonth, c.next, answers::Records(c.count, tag)));
        tag += c.count;
        EXPECT_EQ(h.task->GetPercent(), c.percent);
        EXPECT_TRUE(h.task->IsChanged());
    }
    ASSERT_EQ(valve.MonthArchive.size(), 600u);
    for (uint32_t i = 0; i < 600; ++i) {
        ASSERT_EQ(valve.MonthArchive[i].vPlus[0] | (valve.MonthArchive[i].vPlus[1] << 8), int(i));
    }
    EXPECT_EQ(h.task->GetStep(), 6);
}

TEST_F(ReadAllTest, AllFlagsOffSkipsArchives) {
    ReadSettingsStruct settings;
    settings.ReadHourArchive = settings.ReadDayArchive = settings.ReadMonthArchive =
        settings.ReadJournal = false;
    ASSERT_TRUE(SaveReadSettings(settings));
    TaskHarness<ZQReadAllParamsTask> h(&valve);
    ReadParams(h, {Ring{99, 0, 10}, Ring{99, 0, 10}, Ring{99, 0, 10}, Ring{99, 0, 10}});
    // Rings that are not read add nothing to the progress total.
    EXPECT_EQ(h.task->GetPercent(), 5 * 100 / 9);
    const size_t sent = h.SentCount();
    h.Tick(4);
    EXPECT_EQ(h.task->GetStep(), 9);
    EXPECT_EQ(h.SentCount(), sent);
    EXPECT_EQ(h.task->GetStatusText(), "Чтение настроечных параметров");
    h.Tick();
    h.Chanel().InjectState(csDisconnected);
    EXPECT_EQ(h.task->GetState(), tsDone);
    EXPECT_EQ(h.task->GetStatusText(), "Чтение параметров выполнено");
}

TEST_F(ReadAllTest, EachArchiveGoesToItsListInOrderMonthDayHourJournal) {
    TaskHarness<ZQReadAllParamsTask> h(&valve);
    // Daily ring empty (n = o) although selected; journal wrapped around.
    ReadParams(h, {Ring{9, 0, 2}, Ring{9, 4, 4}, Ring{9, 0, 1}, Ring{9, 8, 1}});
    h.TickAndAnswer(answers::Archive(akMonth, 9, answers::Records(1, 100)));
    EXPECT_EQ(h.task->GetStep(), 6);
    h.Tick();  // daily: nothing to read
    EXPECT_EQ(h.task->GetStep(), 7);
    h.TickAndAnswer(answers::Archive(akHour, 9, answers::Records(2, 200)));
    h.Tick();
    EXPECT_EQ(h.LastSent().bytes[2], akJournal);
    EXPECT_EQ(h.LastSent().bytes[4], 0);  // newest index: n - 1 = 0
    EXPECT_EQ(h.LastSent().bytes[6], 3);  // h - o + n + 1 = 3 records
    h.Answer(answers::Archive(akJournal, 7, answers::Records(3, 300)));
    EXPECT_EQ(h.task->GetStep(), 9);
    EXPECT_EQ(valve.MonthArchive.size(), 1u);
    EXPECT_EQ(valve.DayArchive.size(), 0u);
    EXPECT_EQ(valve.HourArchive.size(), 2u);
    EXPECT_EQ(valve.Journal.size(), 3u);
    EXPECT_EQ(valve.Journal[2].hour, 14);
}

TEST_F(ReadAllTest, EmptySlotsCountButAreNotStored) {
    TaskHarness<ZQReadAllParamsTask> h(&valve);
    ReadParams(h, {Ring{}, Ring{}, Ring{99, 0, 40}, Ring{}});
    const answers::Record ff = answers::EmptySlot();
    answers::Record zeros{};
    std::vector<answers::Record> chunk = answers::Records(30, 0, &ff);
    chunk.push_back(zeros);
    chunk.push_back(answers::ArchiveRecord(7));
    h.TickAndAnswer(answers::Archive(akMonth, 7, chunk));
    EXPECT_EQ(h.task->GetPlan(akMonth).left, 8);
    EXPECT_EQ(valve.MonthArchive.size(), 1u);
    h.TickAndAnswer(answers::Archive(akMonth, 99, answers::Records(8, 0, &ff)));
    EXPECT_EQ(h.task->GetPlan(akMonth).left, 0);
    EXPECT_EQ(valve.MonthArchive.size(), 1u);
    EXPECT_EQ(h.task->GetStep(), 6);
}

TEST_F(ReadAllTest, LostChunkIsAskedAgainWithSameStartAndCount) {
    TaskHarness<ZQReadAllParamsTask> h(&valve);
    ReadParams(h, {Ring{}, Ring{}, Ring{999, 0, 300}, Ring{}});
    h.TickAndAnswer(answers::Archive(akMonth, 44, answers::Records(255, 0)));
    h.Tick();
    const Bytes first = h.LastSent().bytes;
    h.Chanel().InjectLost(5);
    h.Tick();
    EXPECT_EQ(h.LastSent().bytes, first);
    EXPECT_EQ(first[4] | (first[5] << 8), 44);
    EXPECT_EQ(first[6], 45);
}

// A device that sends more records than the channel's 512-byte buffer
// holds: the answer arrives cut, and the text says so rather than blaming
// the CRC.
TEST_F(ReadAllTest, AnswerLongerThanTheBufferIsNamed) {
    TaskHarness<ZQReadAllParamsTask> h(&valve);
    ReadParams(h, {Ring{}, Ring{}, Ring{999, 0, 300}, Ring{}});
    Bytes cut = answers::Archive(akMonth, 44, answers::Records(255, 0));
    cut.resize(512);
    for (int attempt = 0; attempt < 10 && h.task->GetState() == tsRunning; ++attempt) {
        h.TickAndAnswer(cut);
    }
    EXPECT_EQ(h.task->GetState(), tsError);
    EXPECT_EQ(h.task->GetStatusText(), "Ответ прибора длиннее буфера (512 байт)");
    EXPECT_TRUE(valve.MonthArchive.empty());
}

// An answer without records moves nothing on: it is retried like a lost
// answer, and a device that keeps sending such answers ends the read.
TEST_F(ReadAllTest, ZeroRecordAnswersUseUpTheRetries) {
    TaskHarness<ZQReadAllParamsTask> h(&valve);
    ReadParams(h, {Ring{}, Ring{}, Ring{99, 0, 10}, Ring{}});
    const size_t before = h.SentCount();
    for (int attempt = 0; attempt < 10 && h.task->GetState() == tsRunning; ++attempt) {
        h.TickAndAnswer(answers::Archive(akMonth, 2, {}));
    }
    EXPECT_EQ(h.SentCount(), before + 4);
    EXPECT_EQ(h.task->GetState(), tsError);
    EXPECT_EQ(h.task->GetStatusText(), "Неверное количество данных в ответе от прибора");

    // One such answer costs one retry; the same chunk is asked again.
    ZQValve other;
    TaskHarness<ZQReadAllParamsTask> once(&other);
    ReadParams(once, {Ring{}, Ring{}, Ring{99, 0, 10}, Ring{}});
    once.TickAndAnswer(answers::Archive(akMonth, 2, {}));
    const Bytes first = once.LastSent().bytes;
    once.TickAndAnswer(answers::Archive(akMonth, 99, answers::Records(10, 0)));
    EXPECT_EQ(once.Chanel().sent[once.SentCount() - 2].bytes, first);
    EXPECT_EQ(once.LastSent().bytes, first);
    EXPECT_EQ(once.task->GetStep(), 6);
    EXPECT_EQ(other.MonthArchive.size(), 10u);
}

// The records of an answer belong to the archive its step asked for; an
// answer of another kind is refused, whatever the lists and plans hold.
TEST_F(ReadAllTest, AnswerOfAnotherKindIsRefused) {
    const struct {
        const char* name;
        int asked;     // the only archive chosen
        uint8_t kind;  // the kind byte of the answer
    } rows[] = {{"JournalAnsweredAsHourly", akJournal, akHour},
                {"HourlyAnsweredAsJournal", akHour, akJournal},
                {"MonthlyAnsweredAsDaily", akMonth, akDay},
                {"MonthlyAnsweredAsNoKind", akMonth, 4}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ResetSettingsStore();
        ReadSettingsStruct settings;
        settings.ReadHourArchive = row.asked == akHour;
        settings.ReadDayArchive = row.asked == akDay;
        settings.ReadMonthArchive = row.asked == akMonth;
        settings.ReadJournal = row.asked == akJournal;
        ASSERT_TRUE(SaveReadSettings(settings));
        ZQValve v;
        TaskHarness<ZQReadAllParamsTask> h(&v);
        ReadParams(h, {Ring{99, 0, 10}, Ring{99, 0, 10}, Ring{99, 0, 10}, Ring{99, 0, 10}});
        while (h.task->GetState() == tsRunning && h.SentCount() == 3) {
            h.Tick();
        }
        ASSERT_EQ(h.LastSent().bytes[2], row.asked);
        // Retried as any answer to another request, then named.
        for (int attempt = 0; attempt < 10 && h.task->GetState() == tsRunning; ++attempt) {
            h.Answer(answers::Archive(row.kind, 0, answers::Records(10, 0)));
            h.Tick();
        }
        EXPECT_EQ(h.task->GetState(), tsError);
        EXPECT_EQ(h.task->GetStatusText(), "Ответ прибора не соответствует запросу");
        EXPECT_EQ(h.SentCount(), 3u + 4u);
        EXPECT_TRUE(v.HourArchive.empty() && v.DayArchive.empty() && v.MonthArchive.empty() &&
                    v.Journal.empty());
    }
}

// Ring pointers must lie inside their ring (indices 0..h); then no plan
// holds more than h records. Pointers outside refuse the whole answer.
TEST_F(ReadAllTest, RingPointersOutsideTheirRingAreRefused) {
    const struct {
        const char* name;
        Ring ring;  // put in the journal's place, the other rings empty
        int total;  // -1: refused
    } rows[] = {{"OldestAboveHighest", Ring{0, 2, 0}, -1},
                {"NextAboveHighest", Ring{9, 0, 10}, -1},
                {"BothFarOutside", Ring{5, 40000, 60000}, -1},
                {"FullRing", Ring{9, 0, 9}, 9},
                {"FullRingWrapped", Ring{9, 9, 8}, 9},
                {"LargestRing", Ring{65535, 65535, 65534}, 65535},
                {"OneSlotEmpty", Ring{0, 0, 0}, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ZQValve v;
        TaskHarness<ZQReadAllParamsTask> h(&v);
        h.Connect();
        h.TickAndAnswer(answers::Ident());
        h.TickAndAnswer(answers::CurrentParams(SampleParams(), {Ring{}, Ring{}, Ring{}, row.ring}));
        if (row.total < 0) {
            EXPECT_EQ(h.task->GetState(), tsError);
            EXPECT_EQ(h.task->GetStatusText(), "Неверное количество данных в ответе от прибора");
            EXPECT_EQ(h.task->GetPlan(akJournal).total, 0);
        } else {
            EXPECT_EQ(h.task->GetStep(), 4);
            EXPECT_EQ(h.task->GetPlan(akJournal).total, row.total);
        }
    }
}

// Content errors end the task at once, without retries.
struct ContentCase {
    const char* name;
    Bytes answer;
    int step;  // the step whose request the answer answers
    const char* text;
};

class ReadAllContent : public testing::TestWithParam<ContentCase> {
protected:
    void SetUp() override { ResetSettingsStore(); }
};

TEST_P(ReadAllContent, EndsWithText) {
    const ContentCase& c = GetParam();
    ZQValve valve;
    TaskHarness<ZQReadAllParamsTask> h(&valve);
    h.Connect();
    if (c.step >= 3) {
        h.TickAndAnswer(answers::Ident());
    }
    if (c.step >= 4) {
        h.TickAndAnswer(
            answers::CurrentParams(SampleParams(), {Ring{}, Ring{}, Ring{99, 0, 10}, Ring{}}));
    }
    if (c.step >= 5) {
        h.TickAndAnswer(answers::SetupParams({}));
    }
    ASSERT_EQ(h.task->GetStep(), c.step);
    h.TickAndAnswer(c.answer);
    EXPECT_EQ(h.task->GetState(), tsError);
    EXPECT_EQ(h.task->GetStatusText(), c.text);
    EXPECT_EQ(h.task->GetPercent(), 0);
}

Bytes Truncated(Bytes b, size_t keep) {
    b.resize(keep);
    return answers::WithCrc(b);
}

Bytes WithCount(Bytes b, uint8_t count) {
    b[6] = count;
    b.resize(b.size() - 2);
    return answers::WithCrc(b);
}

const char* const kBadCount = "Неверное количество данных в ответе от прибора";

INSTANTIATE_TEST_SUITE_P(
    Answers, ReadAllContent,
    testing::Values(
        ContentCase{"NotRori", answers::Ident(1, "ROR1"), 2, "Неизвестный тип прибора"},
        ContentCase{"Version2", answers::Ident(2), 2, "Неизвестная версия прибора"},
        ContentCase{"IdentTooShort", Truncated(answers::Ident(), 9), 2, kBadCount},
        ContentCase{"CurrentCount127",
                    [] {
                        Bytes b = answers::CurrentParams({});
                        b[2] = 127;
                        return Truncated(b, b.size() - 3);
                    }(),
                    3, kBadCount},
        ContentCase{"CurrentCutShort", Truncated(answers::CurrentParams({}), 100), 3, kBadCount},
        ContentCase{"SetupCount16", Truncated(answers::SetupParams({}), 16), 4, kBadCount},
        ContentCase{"MoreRecordsThanLeft", answers::Archive(akMonth, 0, answers::Records(11, 0)), 5,
                    kBadCount},
        ContentCase{"RecordsBeyondAnswer",
                    WithCount(answers::Archive(akMonth, 0, answers::Records(2, 0)), 3), 5,
                    kBadCount},
        ContentCase{"ArchiveHeaderOnly", answers::WithCrc({0, 65, 2, 0, 0}), 5, kBadCount}),
    [](const testing::TestParamInfo<ContentCase>& info) { return std::string(info.param.name); });

TEST_F(ReadAllTest, RefusedVersionKeepsIdentBytes) {
    TaskHarness<ZQReadAllParamsTask> h(&valve);
    h.Connect();
    h.TickAndAnswer(answers::Ident(2));
    EXPECT_EQ(valve.Ident[0], 0x11);
    EXPECT_EQ(valve.Ident[2], 2);
    EXPECT_EQ(h.SentCount(), 1u);
}

}  // namespace

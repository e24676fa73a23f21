#include "ZQReadAllParamsTask.h"

#include "ArchiveStruct.h"
#include "DeviceAnswers.h"
#include "ModbusFrames.h"
#include "ParamsRegisters.h"
#include "Settings.h"
#include "TextFormat.h"

#include <cmath>
#include <cstring>

namespace {

// Archive answer: address, 65, kind, one byte, next start index (low byte
// first), record count n, n records of 16 bytes, CRC.
constexpr int kArchiveHeader = 7;
constexpr int kRecordSize = 16;
constexpr int kMaxChunk = 255;

// The lists' names in the notes, by archive kind.
const char* const kRingNames[4] = {"Часовой архив", "Суточный архив", "Месячный архив", "Журнал"};

}  // namespace

ZQReadAllParamsTask::ZQReadAllParamsTask(bool running, ZQValve* valve, const ZQValve* document)
    : ZQParamsReadTask(running, valve) {
    readSettings.StartInterval = 0;
    readSettings.FinishInterval = 0;
    LoadReadSettings(readSettings);
    if (document != nullptr) {
        // A copy: the document may change (a file opened) while the task runs.
        this->document = *document;
    }
}

int ZQReadAllParamsTask::GetPercent() {
    // A finished task keeps what SetDone or SetError left: 100 or 0.
    if (state != tsRunning) {
        return percent;
    }
    int total = 0;
    int left = 0;
    for (const ReadPlanEntry& row : plan) {
        total += row.total;
        left += row.left;
    }
    percent = (step + total - left) * 100 / (GetStepCount() + total);
    return percent;
}

int ZQReadAllParamsTask::ExecuteStep(int s) {
    switch (s) {
        case 4:
            // The last moment before the archives to refuse another device's
            // read, or to wait for the owner's word on it.
            if (otherDevice && otherDeviceChoice == OtherDeviceChoice::Refuse) {
                SetError(
                    FormatText("Документ прибора № %09u, подключён прибор № %09u: "
                               "недостающая часть архива не считывается",
                               document->Current.Serial, valve->Current.Serial));
                return srWaitEvent;
            }
            if (awaitingAnswer) {
                statusText = "Подключён другой прибор: ожидается решение";
                return srRepeat;
            }
            return ZQParamsReadTask::ExecuteStep(s);
        case 5:
            return RequestArchive(ZQ_namespace::akMonth, "Чтение месячного архива");
        case 6:
            return RequestArchive(ZQ_namespace::akDay, "Чтение суточного архива");
        case 7:
            return RequestArchive(ZQ_namespace::akHour, "Чтение часового архива");
        case 8:
            return RequestArchive(ZQ_namespace::akJournal, "Чтение журнала");
        case 9:
            if (mergeDocument) {
                size_t changed[4] = {};
                MergeMissingPart(rules, *valve, changed);
                mergeDocument = false;
                grewDocument = true;
                for (int kind = 0; kind < 4; ++kind) {
                    if (changed[kind] > 0) {
                        Note(
                            FormatText("%s: записей прибора с датами записей документа, но с "
                                       "другими данными: %zu; они не добавлены, в документе "
                                       "остались прежние записи",
                                       kRingNames[kind], changed[kind]));
                    }
                }
            }
            CloseChanel();
            statusText = "Чтение параметров выполнено";
            return srWaitEvent;
        default:
            return ZQParamsReadTask::ExecuteStep(s);
    }
}

int ZQReadAllParamsTask::RequestArchive(int kind, const char* text) {
    // A ring that is not selected was planned with nothing to read.
    const ReadPlanEntry& row = plan[kind];
    if (row.left == 0) {
        return srNext;
    }
    statusText = text;
    const uint8_t request[5] = {
        static_cast<uint8_t>(kind),
        1,
        static_cast<uint8_t>(row.start & 0xFF),
        static_cast<uint8_t>(row.start >> 8),
        static_cast<uint8_t>(row.left > kMaxChunk ? kMaxChunk : row.left),
    };
    int length = kRequestFrameSize;
    BuildFunctionFrame(requestFrame, length, DeviceAddress(), kFuncArchive, request, 5);
    return SendRequest(length);
}

bool ZQReadAllParamsTask::OnCurrentParamsBlock(const uint8_t* block) {
    ArchiveRing rings[4];
    for (int kind = 0; kind < 4; ++kind) {
        rings[kind] = GetArchiveRing(block, kind);
        // A ring of h + 1 slots has its oldest and next indices in 0..h. With
        // them there, no plan exceeds h records; outside, the 16-bit count
        // wraps (up to 65535 records of a one-slot ring).
        if (rings[kind].oldest > rings[kind].highest || rings[kind].next > rings[kind].highest) {
            return false;
        }
    }
    for (int kind = 0; kind < 4; ++kind) {
        plan[kind].start = rings[kind].NewestIndex();
        plan[kind].highest = rings[kind].highest;
        // A ring that is not to be read adds nothing to the progress total.
        plan[kind].total = plan[kind].left = Selected(kind) ? rings[kind].RecordCount() : 0;
    }
    PlanInterval();
    return true;
}

bool ZQReadAllParamsTask::Selected(int kind) const {
    using namespace ZQ_namespace;
    switch (kind) {
        case akHour:
            return readSettings.ReadHourArchive;
        case akDay:
            return readSettings.ReadDayArchive;
        case akMonth:
            return readSettings.ReadMonthArchive;
        default:
            return readSettings.ReadJournal;
    }
}

void ZQReadAllParamsTask::PlanInterval() {
    for (RingReadRule& rule : rules) {
        rule = RingReadRule();
    }
    mergeDocument = false;
    otherDevice = false;
    awaitingAnswer = false;
    if (readSettings.ReadInterval == riPeriod) {
        const double a = std::floor(readSettings.StartInterval);
        const double b = std::floor(readSettings.FinishInterval);
        if (!std::isfinite(a) || !std::isfinite(b)) {
            Note("Заданный интервал: даты интервала не читаются, считывается весь архив");
            return;
        }
        // Between the two dates, whichever of them comes first.
        const TDateTime deviceDay = std::floor(valve->Current.Date);
        for (RingReadRule& rule : rules) {
            rule = RingReadRule::Period(std::min(a, b), std::max(a, b), deviceDay);
        }
        return;
    }
    if (readSettings.ReadInterval != riMissing) {
        return;
    }
    if (!document) {
        Note("Недостающая часть архива: документ не открыт, считывается весь архив");
        return;
    }
    if (document->Current.Serial != valve->Current.Serial) {
        otherDevice = true;
        if (otherDeviceChoice == OtherDeviceChoice::Ask) {
            awaitingAnswer = true;
        } else if (otherDeviceChoice == OtherDeviceChoice::ReadWhole) {
            NoteOtherDevice();
        }
        return;
    }
    mergeDocument = true;
    // A list the document does not have is read whole, as its join never
    // comes.
    for (int kind = 0; kind < 4; ++kind) {
        rules[kind] = RingReadRule::After(DocumentHistory(*document, kind));
    }
}

void ZQReadAllParamsTask::ReadOtherDeviceWhole() {
    if (awaitingAnswer) {
        awaitingAnswer = false;
        NoteOtherDevice();
    }
}

void ZQReadAllParamsTask::NoteOtherDevice() {
    Note(
        FormatText("Недостающая часть архива: документ прибора № %09u, подключён прибор "
                   "№ %09u; считывается весь архив",
                   document->Current.Serial, valve->Current.Serial));
}

void ZQReadAllParamsTask::RingDone(int kind) {
    const RingReadRule& rule = rules[kind];
    const HistoryJoin& history = rule.History();
    if (rule.LooksForHistory() && history.HasRecords()) {
        if (!history.Joined()) {
            Note(std::string(kRingNames[kind]) +
                 ": ни одной записи документа в приборе нет (кольцо переполнилось или архив "
                 "очищен), считан весь архив");
        } else if (history.JoinIndex() > 0) {
            Note(
                FormatText("%s: последней записи документа в приборе нет, архив считан до "
                           "более ранней записи документа (%zu-й по новизне)",
                           kRingNames[kind], history.JoinIndex() + 1));
        }
    }
    if (rule.ClockWentBack()) {
        Note(std::string(kRingNames[kind]) +
             ": даты записей идут не по порядку (часы прибора переводились назад), архив "
             "считан до конца");
    }
}

void ZQReadAllParamsTask::Note(const std::string& text) {
    readNotes.push_back(text);
    if (consoleSink) {
        consoleSink(text);
    }
}

void ZQReadAllParamsTask::OnLaterAnswer(const uint8_t* data, int length) {
    using namespace ZQ_namespace;
    // The archive each step asks for; the answer's records go to its list
    // and count against its plan row.
    static constexpr int kStepKind[4] = {akMonth, akDay, akHour, akJournal};
    if (step < 5 || step > 8) {
        return;
    }
    const int kind = kStepKind[step - 5];
    if (length < kArchiveHeader + 2) {
        SetError(kTextBadDataCount);
        return;
    }
    const int n = data[6];
    // Records of another kind than the one asked for answer another
    // request; the announced records must all be inside the answer.
    if (data[2] != kind) {
        RetryOrError(kTextWrongAnswer);
        return;
    }
    if (kArchiveHeader + n * kRecordSize + 2 > length) {
        SetError(kTextBadDataCount);
        return;
    }
    // An answer without records brings the read no further: it uses up one
    // of the step's retries (the same chunk is asked again), so a device that
    // never delivers ends the read instead of holding it for ever.
    if (n == 0) {
        RetryOrError(kTextBadDataCount);
        return;
    }
    ReadPlanEntry& row = plan[kind];
    if (row.left < n) {
        row.left = 0;
        SetError(kTextBadDataCount);
        return;
    }
    // The answer names the slot after its last record: going towards the
    // oldest, `n` slots back from the start asked, round the ring. Any other
    // is the answer to another chunk (a late one over a slow link): it is
    // no data, and the wait for this chunk's answer goes on.
    const uint16_t end = static_cast<uint16_t>(data[4] | (data[5] << 8));
    const int slots = row.highest + 1;
    const int expected = ((row.start - n) % slots + slots) % slots;
    if (end != expected) {
        NoteVerdict(FormatText("ответ на другую часть архива (конец %u вместо %d), пропущен", end,
                               expected));
        return;
    }
    RingReadRule& rule = rules[kind];
    for (int i = 0; i < n; ++i) {
        const uint8_t* bytes = data + kArchiveHeader + i * kRecordSize;
        if (!rule.Offer(bytes)) {
            continue;
        }
        if (kind == akJournal) {
            JournalStruct record;
            std::memcpy(&record, bytes, kRecordSize);
            valve->Journal.push_back(record);
            continue;
        }
        ArchiveStruct record;
        std::memcpy(&record, bytes, kRecordSize);
        switch (kind) {
            case akHour:
                valve->HourArchive.push_back(record);
                break;
            case akDay:
                valve->DayArchive.push_back(record);
                break;
            case akMonth:
                valve->MonthArchive.push_back(record);
                break;
            default:
                break;
        }
    }
    // Empty slots count as read.
    row.left = static_cast<uint16_t>(row.left - n);
    const bool stop = rule.EndOfAnswer();
    if (row.left > 0 && !stop) {
        row.start = static_cast<uint16_t>(data[4] | (data[5] << 8));
        SetStep(step, true);
        changed = true;
        return;
    }
    // The records the rule does not ask for are never read: the total
    // becomes what was read, so the progress stays truthful.
    row.total = static_cast<uint16_t>(row.total - row.left);
    row.left = 0;
    RingDone(kind);
    NextStep();
}

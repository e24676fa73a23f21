#include "ZQReadAllParamsTask.h"

#include "ArchiveStruct.h"
#include "DeviceAnswers.h"
#include "ModbusFrames.h"
#include "ParamsRegisters.h"
#include "Settings.h"

#include <cstring>

namespace {

// Archive answer: address, 65, kind, one byte, next start index (low byte
// first), record count n, n records of 16 bytes, CRC.
constexpr int kArchiveHeader = 7;
constexpr int kRecordSize = 16;
constexpr int kMaxChunk = 255;

}  // namespace

ZQReadAllParamsTask::ZQReadAllParamsTask(bool running, ZQValve* valve)
    : ZQParamsReadTask(running, valve) {
    readSettings.StartInterval = 0;
    readSettings.FinishInterval = 0;
    LoadReadSettings(readSettings);
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
        case 5:
            return RequestArchive(ZQ_namespace::akMonth, readSettings.ReadMonthArchive,
                                  "Чтение месячного архива");
        case 6:
            return RequestArchive(ZQ_namespace::akDay, readSettings.ReadDayArchive,
                                  "Чтение суточного архива");
        case 7:
            return RequestArchive(ZQ_namespace::akHour, readSettings.ReadHourArchive,
                                  "Чтение часового архива");
        case 8:
            return RequestArchive(ZQ_namespace::akJournal, readSettings.ReadJournal,
                                  "Чтение журнала");
        case 9:
            CloseChanel();
            statusText = "Чтение параметров выполнено";
            return srWaitEvent;
        default:
            return ZQParamsReadTask::ExecuteStep(s);
    }
}

int ZQReadAllParamsTask::RequestArchive(int kind, bool selected, const char* text) {
    const ReadPlanEntry& row = plan[kind];
    if (row.left == 0 || !selected) {
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
        plan[kind].total = plan[kind].left = rings[kind].RecordCount();
    }
    return true;
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
    // Records of another kind than the one asked for answer another request;
    // the announced records must all be inside the answer.
    if (data[2] != kind || kArchiveHeader + n * kRecordSize + 2 > length) {
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
    for (int i = 0; i < n; ++i) {
        const uint8_t* bytes = data + kArchiveHeader + i * kRecordSize;
        if (IsEmptySlot(bytes)) {
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
    ReadPlanEntry& row = plan[kind];
    if (row.left < n) {
        row.left = 0;
        SetError(kTextBadDataCount);
        return;
    }
    row.left = static_cast<uint16_t>(row.left - n);
    if (row.left > 0) {
        row.start = static_cast<uint16_t>(data[4] | (data[5] << 8));
        SetStep(step, true);
        changed = true;
    } else {
        NextStep();
    }
}

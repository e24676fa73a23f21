// "Считать данные" against a device whose every answer comes from the fuzz
// input. Besides the driver's checks: records land only in the list whose
// archive was asked for, and never as empty slots; a plan never exceeds its
// ring; a read reported done has read every archive it was asked to.
//
// Input: read flags (bits 0..3: hourly, daily, monthly, journal), device
// address, then events (TaskDriver.h).
#include "ModbusFrames.h"
#include "ParamsRegisters.h"
#include "TaskDriver.h"
#include "ZQReadAllParamsTask.h"

#include <array>

namespace {

using namespace ZQ_namespace;
using fuzz::Bytes;

class ReadDriver : public fuzz::TaskDriver {
public:
    ReadDriver(WithFakeChanel<ZQReadAllParamsTask>& task, const ZQValve& valve)
        : TaskDriver(task, task.fake), read(task), valve(valve) {}

protected:
    int64_t ProgressKey() override {
        // Records only ever get fewer, so their sum tells every chunk.
        int64_t left = 0;
        for (int kind = 0; kind < 4; ++kind) {
            left += read.GetPlan(kind).left;
        }
        return left * 16 + task.GetStep();
    }

    int RepeatLimit() override {
        int total = 0;
        for (int kind = 0; kind < 4; ++kind) {
            total += read.GetPlan(kind).total;
        }
        return fuzz::kMaxSendsWithoutProgress * (16 + total);
    }

    bool BuildTemplate(uint8_t type, FuzzInput& in, Bytes& frame) override {
        if (type == fuzz::kCurrent) {
            std::array<answers::Ring, 4> rings;
            for (answers::Ring& ring : rings) {
                ring.h = in.U16();
                ring.o = in.U16();
                ring.n = in.U16();
            }
            frame = answers::CurrentParams(CurrentParamsStruct{}, rings);
            return true;
        }
        if (type == fuzz::kArchive) {
            const uint8_t kind = in.Byte();
            const uint16_t next = in.U16();
            const uint8_t count = in.Byte();
            const uint8_t mode = in.Byte() % 3;
            std::vector<answers::Record> records;
            for (int i = 0; i < count; ++i) {
                answers::Record r = mode == 0 ? answers::ArchiveRecord(i) : answers::EmptySlot();
                if (mode == 2) {
                    const std::vector<uint8_t> bytes = in.Bytes(16);
                    std::copy(bytes.begin(), bytes.end(), r.begin());
                }
                records.push_back(r);
            }
            frame = answers::Archive(kind, next, records);
            return true;
        }
        return false;
    }

    void AfterAnswer(const Bytes& request, const Bytes& answer, bool taken) override {
        const std::array<size_t, 4> sizes = Sizes();
        for (int kind = 0; kind < 4; ++kind) {
            if (sizes[kind] == seen[kind]) {
                continue;
            }
            FUZZ_CHECK(request[1] == kFuncArchive && request[2] == kind,
                       "records in a list that was not asked for");
            for (size_t i = seen[kind]; i < sizes[kind]; ++i) {
                FUZZ_CHECK(!IsEmptySlot(RecordBytes(kind, i)), "an empty slot stored");
            }
        }
        seen = sizes;
        if (request[1] == kFuncArchive) {
            const int kind = request[2];
            FUZZ_CHECK(kind <= akJournal, "an archive request of no kind");
            FUZZ_CHECK(request[6] >= 1, "a chunk of no records asked for");
        }
        // The plan made from ring pointers the task took.
        if (taken && request[1] == kFuncReadInput && answer.size() >= 3 + 128) {
            uint8_t block[128];
            std::copy(answer.begin() + 3, answer.begin() + 3 + 128, block);
            ConvertByteOrder(block, kCurrentParamsConverted, CurrentParamsOrder, 2);
            for (int kind = 0; kind < 4; ++kind) {
                const ArchiveRing ring = GetArchiveRing(block, kind);
                FUZZ_CHECK(read.GetPlan(kind).total <= ring.highest + 1,
                           "a plan larger than its ring");
            }
        }
    }

    void AfterEnd() override {
        if (task.GetState() != tsDone) {
            return;
        }
        const ReadSettingsStruct& s = read.GetReadSettings();
        const bool selected[4] = {s.ReadHourArchive, s.ReadDayArchive, s.ReadMonthArchive,
                                  s.ReadJournal};
        for (int kind = 0; kind < 4; ++kind) {
            FUZZ_CHECK(!selected[kind] || read.GetPlan(kind).left == 0,
                       "a read reported done with records left to read");
        }
    }

private:
    std::array<size_t, 4> Sizes() const {
        return {valve.HourArchive.size(), valve.DayArchive.size(), valve.MonthArchive.size(),
                valve.Journal.size()};
    }
    const uint8_t* RecordBytes(int kind, size_t i) const {
        switch (kind) {
            case akHour:
                return valve.HourArchive[i].Bytes();
            case akDay:
                return valve.DayArchive[i].Bytes();
            case akMonth:
                return valve.MonthArchive[i].Bytes();
            default:
                return valve.Journal[i].Bytes();
        }
    }

    ZQReadAllParamsTask& read;
    const ZQValve& valve;
    std::array<size_t, 4> seen{};
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::InitTaskTarget(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t flags = in.Byte();
    fuzz::TaskDriver::SetConnection(in.Byte());
    ZQValve valve;
    WithFakeChanel<ZQReadAllParamsTask> task(true, &valve);
    ReadSettingsStruct settings = task.GetReadSettings();
    settings.ReadHourArchive = flags & 1;
    settings.ReadDayArchive = flags & 2;
    settings.ReadMonthArchive = flags & 4;
    settings.ReadJournal = flags & 8;
    task.SetReadSettings(settings);
    ReadDriver driver(task, valve);
    driver.Run(in);
    ClearChanelSetupOverlay();
    return 0;
}

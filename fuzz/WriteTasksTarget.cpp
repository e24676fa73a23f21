// The three write tasks against a device whose every answer comes from the
// fuzz input. Besides the driver's checks: a write is taken as done only
// when its answer is the echo of the request (address, unless the request
// went to address 0, function 16, start register, register count).
//
// Input: task (0 setup parameters, 1 clock, 2 clear archive), device
// address, then events (TaskDriver.h); kEcho events answer with the echo.
#include "ModbusFrames.h"
#include "TaskDriver.h"
#include "ZQClearArchiveTask.h"
#include "ZQWriteAllParamsTask.h"
#include "ZQWriteCurrentTimeTask.h"

#include <algorithm>
#include <memory>

namespace {

using fuzz::Bytes;

class WriteDriver : public fuzz::TaskDriver {
public:
    WriteDriver(ZQTask& task, FakeChanel* const& fake) : TaskDriver(task, fake) {}

protected:
    void AfterAnswer(const Bytes& request, const Bytes& answer, bool taken) override {
        if (request[1] != kFuncWriteMultiple) {
            return;
        }
        if (taken) {
            // Any device may answer a write to address 0.
            FUZZ_CHECK(answer.size() == 8 && (request[0] == 0 || answer[0] == request[0]) &&
                           std::equal(request.begin() + 1, request.begin() + 6, answer.begin() + 1),
                       "a write confirmed by an answer that is not its echo");
            confirmed = true;
        }
    }

    void AfterEnd() override {
        FUZZ_CHECK(task.GetState() != tsDone || confirmed, "a write done without its echo");
    }

private:
    bool confirmed = false;
};

template <class Task, class... Args>
void RunWrite(FuzzInput& in, Args&&... args) {
    WithFakeChanel<Task> task(true, std::forward<Args>(args)...);
    if constexpr (std::is_same_v<Task, ZQWriteAllParamsTask>) {
        SetupParamsStruct params;
        params.NetAddress = in.Byte();
        params.CalibrationCode = in.U16();
        task.SetSetupParams(params);
    }
    WriteDriver driver(task, task.fake);
    driver.Run(in);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::InitTaskTarget(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t which = in.Byte() % 3;
    fuzz::TaskDriver::SetConnection(in.Byte());
    switch (which) {
        case 0:
            RunWrite<ZQWriteAllParamsTask>(in);
            break;
        case 1:
            // A fixed clock: 8 December 2026 14:05:09.
            RunWrite<ZQWriteCurrentTimeTask>(in, [] { return 46364.58690972222; });
            break;
        default:
            RunWrite<ZQClearArchiveTask>(in);
            break;
    }
    ClearChanelSetupOverlay();
    return 0;
}

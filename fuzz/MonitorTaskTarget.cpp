// "Мониторинг" against a device whose every answer comes from the fuzz
// input, with any stored pause. Besides the driver's checks: the pause
// between two cycles stays within the connection dialog's 2..1000 s.
//
// Input: device address, monitoring interval (32 bits, any value), then
// events (TaskDriver.h).
#include "TaskDriver.h"
#include "ZQMonitoringTask.h"

#include <array>

namespace {

using fuzz::Bytes;

class MonitorDriver : public fuzz::TaskDriver {
public:
    explicit MonitorDriver(WithFakeChanel<ZQMonitoringTask>& task) : TaskDriver(task, task.fake) {}

protected:
    bool BuildTemplate(uint8_t type, FuzzInput& in, Bytes& frame) override {
        if (type != fuzz::kCurrent) {
            return false;
        }
        CurrentParamsStruct params;
        params.Serial = in.U32();
        params.NSFlags = in.Byte();
        frame = answers::CurrentParams(params);
        return true;
    }

    void AfterRequest(int quietTicks) override {
        // A cycle starts after the pause: the tick that entered the pause
        // and then 10 ticks a second.
        if (lastStep == ZQMonitoringTask::kWaitStep) {
            FUZZ_CHECK(quietTicks >= 1 + 10 * ZQMonitoringTask::kMinInterval &&
                           quietTicks <= 1 + 10 * ZQMonitoringTask::kMaxInterval,
                       "a pause outside 2..1000 s");
        }
        lastStep = task.GetStep();
    }

    void AfterAnswer(const Bytes&, const Bytes&, bool) override { lastStep = task.GetStep(); }

private:
    int lastStep = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::InitTaskTarget(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t address = in.Byte();
    fuzz::TaskDriver::SetConnection(address, static_cast<int32_t>(in.U32()));
    ZQValve valve;
    WithFakeChanel<ZQMonitoringTask> task(true, &valve);
    MonitorDriver driver(task);
    driver.Run(in);
    ClearChanelSetupOverlay();
    return 0;
}

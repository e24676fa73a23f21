#pragma once

#include "ReadSettingsStruct.h"
#include "ZQParamsReadTask.h"

#include <cstdint>

// One row of the archive read plan, indexed by archive kind.
struct ReadPlanEntry {
    uint16_t start = 0;  // index of the record the next request asks for
    uint16_t total = 0;  // records found in the ring when the plan was made
    uint16_t left = 0;   // records still to read
};

// "Считать данные": identification, current and setup parameters, then, as
// the read settings choose, the monthly, daily and hourly archives and the
// journal, read with the device's function 65 in chunks of up to 255
// records from the newest record towards the oldest.
//
// Steps: 0 start, 1 channel, 2 identification, 3 current parameters (and the
// plan from the ring pointers), 4 setup parameters, 5 monthly, 6 daily,
// 7 hourly archive, 8 journal, 9 close.
class ZQReadAllParamsTask : public ZQParamsReadTask {
public:
    // `valve` is not owned and must outlive the task; the owner clears it.
    // The read settings are loaded here.
    ZQReadAllParamsTask(bool running, ZQValve* valve);

    int GetPercent() override;
    int GetTaskType() override { return kTaskReadAll; }
    int GetStepCount() override { return 9; }
    int ExecuteStep(int step) override;

    const ReadPlanEntry& GetPlan(int kind) const { return plan[kind]; }
    const ReadSettingsStruct& GetReadSettings() const { return readSettings; }
    // Replaces the loaded read settings (the command-line tool's --archives).
    void SetReadSettings(const ReadSettingsStruct& settings) { readSettings = settings; }

protected:
    // Plans the archive reads from the ring pointers; false when a pointer
    // lies outside its ring (the plan is then left as it was).
    bool OnCurrentParamsBlock(const uint8_t* block) override;
    // The archive and journal chunks of steps 5..8.
    void OnLaterAnswer(const uint8_t* data, int length) override;

    ReadSettingsStruct readSettings;
    ReadPlanEntry plan[4];

private:
    int RequestArchive(int kind, bool selected, const char* statusText);
};

#pragma once

#include "ReadInterval.h"
#include "ReadSettingsStruct.h"
#include "ZQParamsReadTask.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a missing-part read does when the device's serial number is not the
// document's.
enum class OtherDeviceChoice {
    Refuse,     // end with an error naming both serial numbers
    Ask,        // wait until the owner calls ReadOtherDeviceWhole (or stops the task)
    ReadWhole,  // read the whole archive, and a note says why
};

// One row of the archive read plan, indexed by archive kind.
struct ReadPlanEntry {
    uint16_t start = 0;    // index of the record the next request asks for
    uint16_t total = 0;    // records to read: the ring's, less those a stop left unread
    uint16_t left = 0;     // records still to read
    uint16_t highest = 0;  // the ring's last slot index: it holds highest + 1 slots
};

// "Считать данные": identification, current and setup parameters, then, as
// the read settings choose, the monthly, daily and hourly archives and the
// journal, read with the device's function 65 in chunks of up to 255
// records from the newest record towards the oldest.
//
// The read interval decides how far each ring is read and what is kept
// (ReadInterval.h): the whole ring; the records dated in "Заданный
// интервал"; or the records newer than the document's newest ("Недостающая
// часть архива"), which at the end are put in front of the document's
// records, so that `valve` holds the document grown by what is new. The
// missing part is read only when the device's serial number is the
// document's; for another device the task refuses, asks its owner or reads
// the whole archive, as SetOtherDeviceChoice says, before the setup
// parameters (so before any archive).
//
// Steps: 0 start, 1 channel, 2 identification, 3 current parameters (and the
// plan from the ring pointers), 4 setup parameters (first, for another
// device's document, the refusal or the wait for the owner), 5 monthly, 6 daily,
// 7 hourly archive, 8 journal, 9 close (and the merge with the document).
class ZQReadAllParamsTask : public ZQParamsReadTask {
public:
    // `valve` is not owned and must outlive the task; the owner clears it.
    // The read settings are loaded here. `document`, the data the user has
    // open (none: null), is copied for a missing-part read.
    ZQReadAllParamsTask(bool running, ZQValve* valve, const ZQValve* document = nullptr);

    int GetPercent() override;
    int GetTaskType() override { return kTaskReadAll; }
    int GetStepCount() override { return 9; }
    int ExecuteStep(int step) override;

    const ReadPlanEntry& GetPlan(int kind) const { return plan[kind]; }
    const ReadSettingsStruct& GetReadSettings() const { return readSettings; }
    // Replaces the loaded read settings (the command-line tool's --archives).
    void SetReadSettings(const ReadSettingsStruct& settings) { readSettings = settings; }
    // What the read did otherwise than asked, and why (a missing-part read of
    // another device, a ring read to its end or only to an older document
    // record, document records replaced by the device's changed ones), in
    // the order it happened. Each also goes to the console sink as it
    // happens.
    const std::vector<std::string>& GetReadNotes() const { return readNotes; }
    // True once the missing part has been put in front of the document's
    // records (at the last step of a missing-part read of the same device).
    bool GrewDocument() const { return grewDocument; }

    // Set before the task runs; Refuse unless set.
    void SetOtherDeviceChoice(OtherDeviceChoice choice) { otherDeviceChoice = choice; }
    // The document's serial number (0 without a document).
    uint32_t DocumentSerial() const { return document ? document->Current.Serial : 0; }
    // The device is not the document's (known after the current parameters).
    bool OtherDevice() const { return otherDevice; }
    // With OtherDeviceChoice::Ask: true while the task waits for the owner,
    // before the setup parameters, the channel open.
    bool AwaitsOtherDeviceAnswer() const { return awaitingAnswer; }
    // The owner's yes: the other device's whole archive is read.
    void ReadOtherDeviceWhole();

protected:
    // Plans the archive reads from the ring pointers; false when a pointer
    // lies outside its ring (the plan is then left as it was).
    bool OnCurrentParamsBlock(const uint8_t* block) override;
    // The archive and journal chunks of steps 5..8.
    void OnLaterAnswer(const uint8_t* data, int length) override;

    ReadSettingsStruct readSettings;
    ReadPlanEntry plan[4];

private:
    int RequestArchive(int kind, const char* statusText);
    bool Selected(int kind) const;
    // The rule of each ring, from the read interval, once the device's
    // serial number and date are known.
    void PlanInterval();
    // The ring of `kind` has been read as far as its rule wanted.
    void RingDone(int kind);
    void Note(const std::string& text);
    void NoteOtherDevice();

    std::optional<ZQValve> document;
    RingReadRule rules[4];
    bool mergeDocument = false;
    OtherDeviceChoice otherDeviceChoice = OtherDeviceChoice::Refuse;
    bool otherDevice = false;
    bool awaitingAnswer = false;
    bool grewDocument = false;
    std::vector<std::string> readNotes;
};

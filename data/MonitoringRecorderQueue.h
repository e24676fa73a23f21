#pragma once

#include "CurrentParamsStruct.h"
#include "DateTime.h"
#include "MonitoringRecorder.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

// A recording written on a thread of its own, so that whoever reads the
// device (the window's thread, zqcli's loop) never waits for the disk: a
// slow disk, a USB stick or a network share delays the file, not the
// monitoring. The writer runs the commands in the order they were queued
// with a MonitoringRecorder, so the lines stay whole, in order, and each is
// flushed before the next is written. A failed open or write stops the
// recording (the lines queued behind it are dropped) until the next Open.
//
// The owner's calls come from one thread; they only queue and return.
class MonitoringRecorderQueue {
public:
    // Called on the writer thread with the text for the user when an open
    // or a write fails. It must return quickly; it is never called once
    // the queue has been destroyed.
    using FailedEvent = std::function<void(const std::string& text)>;

    explicit MonitoringRecorderQueue(FailedEvent failed = {});
    // Finish(kFinishWait), its report dropped (an owner that reports what
    // was lost calls Finish first); a writer hung on a dead disk is left
    // behind, writing nothing more.
    ~MonitoringRecorderQueue();
    MonitoringRecorderQueue(const MonitoringRecorderQueue&) = delete;
    MonitoringRecorderQueue& operator=(const MonitoringRecorderQueue&) = delete;

    // Opens `path` on the writer (MonitoringRecorder::Open) once what is
    // queued before is done.
    void Open(const std::string& path);
    // Goes on with a recorder opened already (zqcli opens its file before
    // it calls the device).
    void Adopt(std::unique_ptr<MonitoringRecorder> opened);
    // The line of one cycle; nothing while no recording is open.
    void Append(TDateTime localTime, const CurrentParamsStruct& params);
    // Closes the file once the lines queued before are written.
    void Close();
    // Close, then waits until every line queued is written, at most
    // `limit`. Empty when nothing was lost (a failure was reported through
    // the event already); otherwise the text for the user that says which
    // lines were not written, and the writer drops them. Once Finish has
    // given up, the queue records nothing more.
    std::string Finish(std::chrono::milliseconds limit);

    // True from Open or Adopt until Close or a failure of that recording.
    bool IsRecording() const;
    // Lines queued and not yet written (the one being written included).
    size_t Pending() const;

    // How long closing waits for a slow disk before it gives up.
    static constexpr std::chrono::milliseconds kFinishWait{5000};

private:
    struct Shared;
    std::shared_ptr<Shared> shared;
};

// "<this>: <file>: ..." when closing gave up on lines still queued.
inline constexpr const char* kRecordUnfinishedText = "Запись мониторинга не завершена";

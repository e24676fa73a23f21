#include "MonitoringRecorderQueue.h"

#include "Exception.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

struct Command {
    enum Kind { kOpen, kAdopt, kLine, kClose } kind = kClose;
    std::string text;  // the path of kOpen, the line of kLine
    std::unique_ptr<MonitoringRecorder> opened;
};

// The time at the head of a line, "yyyy-mm-dd hh:mm:ss".
std::string LineTime(const std::string& line) {
    return line.substr(0, line.find(','));
}

}  // namespace

// Shared by the owner and the writer thread, which may outlive the owner
// when it hangs on a dead disk.
struct MonitoringRecorderQueue::Shared {
    std::mutex mutex;
    std::condition_variable wake;  // the writer: work queued, or stop
    std::condition_variable idle;  // Finish: the writer ran out of work
    std::deque<Command> commands;
    bool busy = false;        // the writer runs a command
    std::string lineWritten;  // the line it writes now, if any
    size_t pendingLines = 0;  // queued lines and lineWritten
    bool recording = false;
    std::string path;      // of the latest Open or Adopt
    bool stop = false;     // set by the owner's destructor
    bool dropped = false;  // Finish gave up: drop everything and end

    std::mutex eventMutex;  // held while the event runs, and to clear it
    FailedEvent failed;

    // The writer thread's only.
    std::unique_ptr<MonitoringRecorder> recorder = std::make_unique<MonitoringRecorder>();

    void Run();
    // Runs one command; the failure's text, or empty.
    std::string Execute(Command& command);
    // After a failure: the lines queued up to the next open are dropped,
    // and the recording is off unless such an open follows. Under `mutex`.
    void DropAfterFailure();
};

void MonitoringRecorderQueue::Shared::Run() {
    for (;;) {
        Command command;
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [&] { return stop || dropped || !commands.empty(); });
            if (dropped || commands.empty()) {
                break;
            }
            command = std::move(commands.front());
            commands.pop_front();
            busy = true;
            if (command.kind == Command::kLine) {
                lineWritten = command.text;
            }
        }
        std::string failure = Execute(command);
        {
            std::lock_guard<std::mutex> lock(mutex);
            busy = false;
            if (command.kind == Command::kLine) {
                --pendingLines;
                lineWritten.clear();
            }
            if (dropped) {
                failure.clear();  // Finish has said what was lost
            } else if (!failure.empty()) {
                DropAfterFailure();
            }
        }
        if (!failure.empty()) {
            std::lock_guard<std::mutex> lock(eventMutex);
            if (failed) {
                failed(failure);
            }
        }
        idle.notify_all();
    }
    recorder->Close();
    idle.notify_all();
}

std::string MonitoringRecorderQueue::Shared::Execute(Command& command) {
    try {
        switch (command.kind) {
            case Command::kOpen:
                recorder->Open(command.text);
                break;
            case Command::kAdopt:
                recorder = std::move(command.opened);
                break;
            case Command::kLine:
                // Lines that were queued before the caller learnt of a
                // failure find the recorder closed: already reported.
                if (recorder->IsOpen()) {
                    recorder->AppendLine(command.text);
                }
                break;
            case Command::kClose:
                recorder->Close();
                break;
        }
    } catch (const Exception& e) {
        return e.what();
    }
    return {};
}

void MonitoringRecorderQueue::Shared::DropAfterFailure() {
    while (!commands.empty() && commands.front().kind == Command::kLine) {
        commands.pop_front();
        --pendingLines;
    }
    bool reopened = false;
    for (const Command& c : commands) {
        reopened = reopened || c.kind == Command::kOpen || c.kind == Command::kAdopt;
    }
    recording = recording && reopened;
}

MonitoringRecorderQueue::MonitoringRecorderQueue(FailedEvent failed)
    : shared(std::make_shared<Shared>()) {
    shared->failed = std::move(failed);
    // The thread holds the shared part, so one left hanging on a dead disk
    // never touches a destroyed queue.
    std::thread([state = shared] { state->Run(); }).detach();
}

MonitoringRecorderQueue::~MonitoringRecorderQueue() {
    Finish(kFinishWait);
    {
        std::lock_guard<std::mutex> lock(shared->eventMutex);
        shared->failed = nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->stop = true;
    }
    shared->wake.notify_all();
}

void MonitoringRecorderQueue::Open(const std::string& path) {
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->commands.push_back({Command::kOpen, path, nullptr});
    shared->path = path;
    shared->recording = true;
    shared->wake.notify_all();
}

void MonitoringRecorderQueue::Adopt(std::unique_ptr<MonitoringRecorder> opened) {
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->path = opened->Path();
    shared->commands.push_back({Command::kAdopt, {}, std::move(opened)});
    shared->recording = true;
    shared->wake.notify_all();
}

void MonitoringRecorderQueue::Append(TDateTime localTime, const CurrentParamsStruct& params) {
    std::string line = MonitoringCsvLine(localTime, params);
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (!shared->recording) {
        return;
    }
    shared->commands.push_back({Command::kLine, std::move(line), nullptr});
    ++shared->pendingLines;
    shared->wake.notify_all();
}

void MonitoringRecorderQueue::Close() {
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (!shared->dropped) {
        shared->commands.push_back({Command::kClose, {}, nullptr});
    }
    shared->recording = false;
    shared->wake.notify_all();
}

std::string MonitoringRecorderQueue::Finish(std::chrono::milliseconds limit) {
    Close();
    std::unique_lock<std::mutex> lock(shared->mutex);
    Shared& s = *shared;
    if (s.idle.wait_for(lock, limit,
                        [&] { return s.dropped || (s.commands.empty() && !s.busy); })) {
        return {};
    }
    // The writer hangs in a call to the file: what it holds and what waits
    // behind it is given up.
    std::string first = s.lineWritten;
    std::string last = s.lineWritten;
    for (const Command& c : s.commands) {
        if (c.kind == Command::kLine) {
            first = first.empty() ? c.text : first;
            last = c.text;
        }
    }
    const size_t lost = s.pendingLines;
    s.commands.clear();
    s.pendingLines = s.busy && !s.lineWritten.empty() ? 1 : 0;
    s.dropped = true;
    s.wake.notify_all();
    if (lost == 0) {
        return {};
    }
    const long seconds = static_cast<long>((limit.count() + 999) / 1000);
    std::string text = std::string(kRecordUnfinishedText) + ": " + s.path +
                       ": файл не ответил за " + std::to_string(seconds) +
                       " с, не записано строк: " + std::to_string(lost);
    text += lost == 1 ? " (цикл " + LineTime(first) + ")"
                      : " (циклы с " + LineTime(first) + " по " + LineTime(last) + ")";
    return text;
}

bool MonitoringRecorderQueue::IsRecording() const {
    std::lock_guard<std::mutex> lock(shared->mutex);
    return shared->recording;
}

size_t MonitoringRecorderQueue::Pending() const {
    std::lock_guard<std::mutex> lock(shared->mutex);
    return shared->pendingLines;
}

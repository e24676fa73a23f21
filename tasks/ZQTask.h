#pragma once

#include "ChanelKinds.h"
#include "ChanelSetupStruct.h"
#include "ExchangeRecord.h"
#include "TQueueIDChanel.h"

#include <cstdint>
#include <memory>
#include <string>

class QObject;

enum TaskState : int32_t { tsStopped = 0, tsRunning = 1, tsDone = 2, tsError = 3 };

// What ExecuteStep asks Tick to do next.
enum StepResult : int32_t {
    srWaitEvent = 0,   // wait for a channel event, no time-out
    srNext = 1,        // go to the next step at once
    srWaitAnswer = 2,  // a request went out: wait for its answer, with the time-out
    srRepeat = 3,      // run the same step again on the next tick, with fresh retries
                       // (a step that waits for the owner)
};

// Task type codes.
constexpr int kTaskReadAll = 1;
constexpr int kTaskMonitoring = 2;
constexpr int kTaskWriteSetup = 3;
constexpr int kTaskWriteTime = 4;
constexpr int kTaskClearArchive = 5;
constexpr int kTaskSearch = 6;

// Capacity of the request buffer handed to the frame builders.
constexpr int kRequestFrameSize = 265;

// One exchange with the device: a numbered sequence of steps. Each step opens
// the channel, or sends one Modbus request (packet id = step number) and
// waits for its answer, or finishes. This base owns the channel, the retries
// and time-outs, the common answer checks, the progress and the status text;
// a derived task supplies the step table, the answer handler and its type
// code.
//
// The owner calls Tick every 100 ms. The first step runs on a tick; every
// step after it runs as soon as the task enters it (SetStep: the answer,
// the loss or the channel event that ended the step before, or the time-out
// counted on a tick), queued behind the event being handled, so a request
// goes out when the line is free rather than at the next tick. Ticks count
// the answer time-outs and the pauses of the derived tasks, and run a step
// that srRepeat left for the next tick. The owner reads the progress and
// the status on its ticks (IsChanged), however many steps ran in between.
//
// Everything runs on the thread that made the task (the GUI thread in the
// window): Tick, the queued steps, and the channel's events, which the
// channel raises there. Used through a ZQTask pointer; never restarted.
class ZQTask {
public:
    // Starts in tsRunning when `running`, else in tsStopped.
    explicit ZQTask(bool running);
    ZQTask(const ZQTask&) = delete;
    ZQTask& operator=(const ZQTask&) = delete;
    virtual ~ZQTask();

    virtual void Stop();
    virtual void Tick();
    virtual int GetPercent();
    virtual std::string GetStatusText();
    virtual int GetState();
    virtual int GetTaskType();
    virtual void OnChanelState(int chanelState);
    virtual void OnRecvPacket(const uint8_t* data, int length, int packetId);
    virtual void OnLostPacket(int packetId);
    virtual bool CreateChanel();
    virtual void CloseChanel();
    virtual void DestroyChanel();
    // Common checks of an answer: the packet id (a late answer is dropped
    // silently); an answer cut at the channel's buffer, the CRC and the
    // address and function of the request (all retried); the exception bit
    // (ends the task). What the answer carries is the handler's to check.
    virtual bool CheckAnswer(const uint8_t* data, uint16_t length, int packetId);
    // Enters `step` (not waiting) and queues its run: it runs once the event
    // being handled is done, unless a tick has run it by then.
    virtual void SetStep(int step, bool resetRetries);
    virtual void NextStep();
    virtual void SetError(const std::string& text);
    virtual void SetDone(const std::string& text);
    virtual void RetryOrError(const std::string& text);
    virtual int GetStepRetries(int step);
    virtual int GetStepCount();
    virtual int ExecuteStep(int step);
    // Ticks of 100 ms before an unanswered request counts as lost: what the
    // connection type's channel takes at most for one answer at the task's
    // pace, with a tick of margin (AnswerTicks, ChanelKinds.h).
    virtual int GetAnswerTimeout(int step);

    // For the owner: the start of a stopped task, the refresh flag, the step.
    void Start();
    bool IsChanged() const { return changed; }
    void ClearChanged() { changed = false; }
    int GetStep() const { return step; }
    const ChanelSetupStruct& GetChanelSetup() const { return chanelSetup; }
    TQueueIDChanel* GetChanel() const { return chanel.get(); }
    // For an owner that keeps the channel for the task after this one (one
    // connection for several devices): the channel, its events unbound; the
    // task has none afterwards. A channel with commands still pending would
    // answer the next task with this one's outcomes: check GetPendingCount.
    std::unique_ptr<TQueueIDChanel> ReleaseChanel();
    // A sink for the diagnostic texts of the channels this task creates;
    // none by default, so the channels' own texts go nowhere.
    void SetConsoleSink(ConsoleEvent sink) { consoleSink = std::move(sink); }
    // A sink for every request sent and every answer or loss, with the
    // verdict the task reached; none by default.
    void SetExchangeSink(ExchangeEvent sink) { exchangeSink = std::move(sink); }

protected:
    // Makes `newChanel` the task's channel (an old one is destroyed first)
    // and binds its three events to the task's virtual handlers.
    void AdoptChanel(std::unique_ptr<TQueueIDChanel> newChanel);
    // Makes and opens the channel chanelSetup names, as its connection
    // type's row says; false for a type no row knows.
    bool OpenChanel();
    // Performs the current step as Tick does when it is not waiting, and
    // acts on its StepResult.
    void RunStep();
    // SetStep without the queued run: the step waits for a tick.
    void EnterStep(int step, bool resetRetries);
    // Sends the `length` bytes of requestFrame with packet id = step.
    int SendRequest(int length);

    // Steps every task shares: opening the channel (step 1), reading the
    // identification (function 17) and reading a register block.
    int StepCreateChanel();
    int StepReadIdent();
    int StepReadRegisters(const char* text, uint16_t regNumber, uint16_t count);
    // Identification answer: NextStep when the device is known, else SetError.
    // `ident`, when given, receives the four identification bytes.
    void AcceptIdentAnswer(const uint8_t* data, int length, uint8_t* ident);
    // True when an answer (at least 4 bytes) may belong to the request in
    // requestFrame: the request's function or its exception form, from the
    // address asked (AnswerMayBegin). A request to address 0 takes an answer
    // from any address, since devices differ in what they put into such an
    // answer.
    bool AnswersRequest(const uint8_t* data, uint16_t length) const;
    // Device address for requests: the low byte of the connection settings'.
    uint8_t DeviceAddress() const { return static_cast<uint8_t>(chanelSetup.NetAddress & 0xFF); }

    // The channel's answer and loss events go through these, which tell the
    // exchange sink what the task's handlers made of them.
    void ReceiveAnswer(const uint8_t* data, uint16_t length, int packetId);
    void ReceiveLoss(int packetId);
    void ReportExchange(ExchangeDirection direction, int packetId, const uint8_t* data, int length,
                        std::string verdict);
    // While an answer, a loss or a time-out is handled: the first outcome
    // the handlers reached ("" = none yet).
    void NoteVerdict(const std::string& text);
    // True when the answer or loss for packet `packetId` completes a request
    // sent before the latest one (the task's own time-out sent it again
    // while the channel still worked on it): it is counted off and told to
    // the exchange sink, never handled.
    bool CompletesEarlierSend(ExchangeDirection direction, int packetId, const uint8_t* data,
                              int length);

    std::unique_ptr<TQueueIDChanel> chanel;
    int32_t state = tsStopped;
    int32_t step = 0;
    int32_t percent = 0;
    bool changed = false;
    bool waiting = false;
    int32_t retries = 0;
    int32_t answerTicks = 0;
    std::string statusText;
    ChanelSetupStruct chanelSetup;
    uint8_t requestFrame[kRequestFrameSize] = {};
    int requestLength = 0;  // bytes of requestFrame last sent
    // Quick for a task that asks many addresses: the channel and the task
    // wait a short time for each answer. Set before step 1.
    AnswerPace answerPace = AnswerPace::Ordinary;
    ConsoleEvent consoleSink;
    ExchangeEvent exchangeSink;
    bool collectingVerdict = false;
    std::string verdict;
    // Requests queued on the channel whose answer or loss has not come back
    // yet; 0 also for a channel that does not count its queue.
    int sendsOutstanding = 0;
    // The stopped task's close is queued once, however long it takes.
    bool closeQueued = false;

private:
    // Queues RunStep for the step just entered: it runs if, by then, the
    // task still runs, waits for nothing and no step has run since.
    void RunStepSoon();

    // Steps run so far: a queued run that finds another run came first
    // does nothing.
    uint32_t stepRuns = 0;
    // Receiver of the queued runs, on the task's thread: they die with the
    // task.
    std::unique_ptr<QObject> soon;
};

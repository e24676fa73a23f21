#include "ZQTask.h"

#include "ChanelCommonStruct.h"
#include "ChanelKinds.h"
#include "Crc16.h"
#include "DeviceAnswers.h"
#include "ModbusAnswer.h"
#include "ModbusFrames.h"
#include "Settings.h"

#include <QMetaObject>
#include <QObject>

ZQTask::ZQTask(bool running)
    : state(running ? tsRunning : tsStopped), soon(std::make_unique<QObject>()) {}

ZQTask::~ZQTask() {
    DestroyChanel();
}

void ZQTask::Start() {
    if (state == tsStopped) {
        state = tsRunning;
    }
}

// A stopped task has nothing more to show: what an answer set before the
// stop is dropped with the refresh flag, and the handlers bound to the
// channel ignore whatever it still raises until the next tick unbinds them.
void ZQTask::Stop() {
    if (state == tsRunning) {
        state = tsStopped;
        changed = false;
    }
}

void ZQTask::Tick() {
    if (state == tsRunning) {
        if (!waiting) {
            RunStep();
            return;
        }
        if (answerTicks > 0 && --answerTicks == 0) {
            const int timedOut = step;
            collectingVerdict = exchangeSink != nullptr;
            verdict.clear();
            RetryOrError("Истекли попытки повтора");
            collectingVerdict = false;
            ReportExchange(ExchangeDirection::TimedOut, timedOut, nullptr, 0, verdict);
        }
    }
    if (state == tsStopped) {
        step = 0;
        // One close, however long the worker takes to come to it: a close
        // queued on every tick would fill the queue.
        if (chanel && !closeQueued && chanel->GetState() != csDisconnected) {
            chanel->SetOnChanelStateEvent(nullptr);
            chanel->SetOnRecvPacketEvent(nullptr);
            chanel->SetOnLostPacketEvent(nullptr);
            closeQueued = true;
            try {
                CloseChanel();
            } catch (const std::exception&) {
                // A full queue: the channel closes when the task destroys it.
            }
        }
    }
}

void ZQTask::RunStep() {
    ++stepRuns;
    int result = srWaitEvent;
    // What a channel raises (a full queue, no thread to be had) ends the
    // exchange with its text; it never reaches the event loop.
    try {
        result = ExecuteStep(step);
    } catch (const std::exception& e) {
        SetError(std::string("Ошибка канала: ") + e.what());
        return;
    }
    changed = true;
    answerTicks = 0;
    switch (result) {
        case srWaitEvent:
            waiting = true;
            break;
        case srNext:
            NextStep();
            break;
        case srWaitAnswer:
            answerTicks = GetAnswerTimeout(step);
            waiting = true;
            break;
        case srRepeat:
            EnterStep(step, true);
            break;
        default:
            break;
    }
}

int ZQTask::GetPercent() {
    return percent;
}

std::string ZQTask::GetStatusText() {
    return statusText;
}

int ZQTask::GetState() {
    return state;
}

int ZQTask::GetTaskType() {
    return 0;
}

void ZQTask::OnChanelState(int chanelState) {
    switch (chanelState) {
        case csDisconnected:
            if (step == 1) {
                SetError("Соединение не установлено");
            } else if (step == GetStepCount()) {
                SetDone("");
            } else {
                SetError("Соединение разорвано");
            }
            break;
        case csConnecting:
            statusText = "Устанавливается соединение";
            break;
        case csConnected:
            statusText = "Соединение установлено";
            NextStep();
            break;
        default:
            break;
    }
}

void ZQTask::OnRecvPacket(const uint8_t*, int, int) {}

void ZQTask::OnLostPacket(int packetId) {
    if (packetId != step) {
        return;
    }
    // A request the line's loss took with it was not left unanswered: the
    // connection is gone (its state event may still be on its way), and a
    // retry on it would fail at once.
    if (chanel && chanel->GetState() == csDisconnected) {
        OnChanelState(csDisconnected);
        return;
    }
    RetryOrError("Нет ответа от прибора");
}

bool ZQTask::CreateChanel() {
    return LoadChanelSetup(chanelSetup) && OpenChanel();
}

bool ZQTask::OpenChanel() {
    DestroyChanel();
    const ChanelKind* kind = FindChanelKind(chanelSetup.CurrentChanel);
    if (kind == nullptr) {
        return false;
    }
    AdoptChanel(kind->make());
    if (chanel) {
        kind->open(*chanel, chanelSetup, answerPace);
    }
    return chanel != nullptr;
}

void ZQTask::CloseChanel() {
    if (chanel) {
        chanel->Close();
    }
}

void ZQTask::DestroyChanel() {
    chanel.reset();
}

std::unique_ptr<TQueueIDChanel> ZQTask::ReleaseChanel() {
    if (chanel) {
        chanel->SetOnChanelStateEvent(nullptr);
        chanel->SetOnRecvPacketEvent(nullptr);
        chanel->SetOnLostPacketEvent(nullptr);
        chanel->SetConsoleFunction(nullptr);
    }
    sendsOutstanding = 0;
    return std::move(chanel);
}

void ZQTask::AdoptChanel(std::unique_ptr<TQueueIDChanel> newChanel) {
    DestroyChanel();
    chanel = std::move(newChanel);
    sendsOutstanding = 0;
    closeQueued = false;
    if (!chanel) {
        return;
    }
    // The bound operations are the virtual ones, so a derived task's handler
    // receives the events.
    chanel->SetOnChanelStateEvent([this](ChanelState s) {
        if (state == tsRunning) {
            OnChanelState(s);
        }
    });
    chanel->SetOnRecvPacketEvent([this](const void* data, uint16_t length, int packetId) {
        ReceiveAnswer(static_cast<const uint8_t*>(data), length, packetId);
    });
    chanel->SetOnLostPacketEvent([this](int packetId) { ReceiveLoss(packetId); });
    if (consoleSink) {
        chanel->SetConsoleFunction(consoleSink);
    }
}

// Only a running task handles what its channel raises: a stopped or finished
// one would otherwise change its step, progress and status after the fact.
void ZQTask::ReceiveAnswer(const uint8_t* data, uint16_t length, int packetId) {
    if (CompletesEarlierSend(ExchangeDirection::FromDevice, packetId, data, length)) {
        return;
    }
    if (state != tsRunning) {
        ReportExchange(ExchangeDirection::FromDevice, packetId, data, length,
                       state == tsStopped ? "обмен отменён, ответ пропущен"
                                          : "обмен уже окончен, ответ пропущен");
        return;
    }
    if (!exchangeSink) {
        OnRecvPacket(data, length, packetId);
        return;
    }
    const int awaited = step;
    collectingVerdict = true;
    verdict.clear();
    OnRecvPacket(data, length, packetId);
    collectingVerdict = false;
    if (verdict.empty()) {
        verdict = packetId != awaited
                      ? "запоздалый ответ на запрос " + std::to_string(packetId) + ", пропущен"
                      : "ответ принят";
    }
    ReportExchange(ExchangeDirection::FromDevice, packetId, data, length, verdict);
}

void ZQTask::ReceiveLoss(int packetId) {
    if (CompletesEarlierSend(ExchangeDirection::Lost, packetId, nullptr, 0)) {
        return;
    }
    if (state != tsRunning) {
        ReportExchange(ExchangeDirection::Lost, packetId, nullptr, 0,
                       state == tsStopped ? "обмен отменён, запрос без ответа"
                                          : "обмен уже окончен, запрос без ответа");
        return;
    }
    const int awaited = step;
    collectingVerdict = exchangeSink != nullptr;
    verdict.clear();
    OnLostPacket(packetId);
    collectingVerdict = false;
    if (verdict.empty() && packetId != awaited) {
        verdict = "запрос " + std::to_string(packetId) + " остался без ответа, пропущено";
    }
    ReportExchange(ExchangeDirection::Lost, packetId, nullptr, 0, verdict);
}

bool ZQTask::CompletesEarlierSend(ExchangeDirection direction, int packetId, const uint8_t* data,
                                  int length) {
    if (sendsOutstanding == 0) {
        return false;
    }
    if (--sendsOutstanding == 0) {
        return false;
    }
    ReportExchange(direction, packetId, data, length,
                   direction == ExchangeDirection::Lost
                       ? "запрос " + std::to_string(packetId) +
                             ", посланный прежде, остался без ответа, пропущено"
                       : "запоздалый ответ на запрос " + std::to_string(packetId) + ", пропущен");
    return true;
}

void ZQTask::ReportExchange(ExchangeDirection direction, int packetId, const uint8_t* data,
                            int length, std::string text) {
    if (!exchangeSink) {
        return;
    }
    ExchangeRecord record;
    record.time = std::chrono::system_clock::now();
    record.direction = direction;
    record.packetId = packetId;
    if (data != nullptr && length > 0) {
        record.bytes.assign(data, data + length);
    }
    record.verdict = std::move(text);
    exchangeSink(record);
}

void ZQTask::NoteVerdict(const std::string& text) {
    if (collectingVerdict && verdict.empty()) {
        verdict = text;
    }
}

bool ZQTask::CheckAnswer(const uint8_t* data, uint16_t length, int packetId) {
    if (packetId != step) {
        return false;
    }
    // An answer the channel cut at its buffer: its header asks for more
    // than the buffer holds.
    if (data != nullptr && length >= ChanelCommonStruct::kBufferSize &&
        AnswersRequest(data, length)) {
        const AnswerSpan span = MeasureAnswer(requestFrame, data, static_cast<size_t>(length));
        if (span.length > static_cast<size_t>(length)) {
            RetryOrError(kTextAnswerTooLong);
            return false;
        }
    }
    // Too short to hold an address, a function code and the CRC: as a bad CRC.
    if (data == nullptr || length < 4 || !CheckFrameCrc(data, length)) {
        RetryOrError("Ошибка CRC в ответе от прибора");
        return false;
    }
    // An answer to another request: on a line shared by several devices it
    // is another device's frame, on a slow link an answer to something long
    // gone. Never data.
    if (!AnswersRequest(data, length)) {
        NoteVerdict(retries > 0 ? "ответ другого адреса или функции, повтор"
                                : "ответ другого адреса или функции");
        RetryOrError(kTextWrongAnswer);
        return false;
    }
    if (data[1] & 0x80) {
        // An exception answer needs its code byte in front of the CRC.
        if (length < 5) {
            RetryOrError("Ошибка CRC в ответе от прибора");
            return false;
        }
        NoteVerdict("исключение Modbus: " + std::string(ModbusErrorText(data[2])));
        SetError(ModbusErrorText(data[2]));
        return false;
    }
    return true;
}

bool ZQTask::AnswersRequest(const uint8_t* data, uint16_t length) const {
    return AnswerMayBegin(requestFrame, data, length);
}

void ZQTask::SetStep(int newStep, bool resetRetries) {
    EnterStep(newStep, resetRetries);
    RunStepSoon();
}

void ZQTask::RunStepSoon() {
    const uint32_t runs = stepRuns;
    QMetaObject::invokeMethod(
        soon.get(),
        [this, runs] {
            if (state == tsRunning && !waiting && stepRuns == runs) {
                RunStep();
            }
        },
        Qt::QueuedConnection);
}

void ZQTask::EnterStep(int newStep, bool resetRetries) {
    step = newStep;
    if (resetRetries) {
        retries = GetStepRetries(newStep);
    }
    waiting = false;
    const int count = GetStepCount();
    percent = count > 0 ? newStep * 100 / count : 0;
}

void ZQTask::NextStep() {
    if (step < GetStepCount()) {
        SetStep(step + 1, true);
    } else {
        SetDone("");
    }
}

void ZQTask::SetError(const std::string& text) {
    NoteVerdict(text.empty() ? statusText : text);
    step = 0;
    state = tsError;
    percent = 0;
    changed = true;
    if (!text.empty()) {
        statusText = text;
    }
}

void ZQTask::SetDone(const std::string& text) {
    step = 0;
    state = tsDone;
    percent = 100;
    changed = true;
    if (!text.empty()) {
        statusText = text;
    }
}

void ZQTask::RetryOrError(const std::string& text) {
    NoteVerdict(retries > 0 ? text + ", повтор" : text);
    if (retries > 0) {
        --retries;
        // At the next tick, not at once: a line that went down takes its
        // requests with it before its own event tells so, and a retry sent
        // at once would be lost at once, three times over.
        EnterStep(step, false);
    } else {
        SetError(text);
    }
}

int ZQTask::GetStepRetries(int) {
    return 3;
}

int ZQTask::GetStepCount() {
    return 1;
}

int ZQTask::ExecuteStep(int) {
    return srNext;
}

int ZQTask::GetAnswerTimeout(int) {
    const ChanelKind* kind = FindChanelKind(chanelSetup.CurrentChanel);
    if (kind == nullptr) {
        return 40;
    }
    return AnswerTicks(*kind, answerPace);
}

int ZQTask::SendRequest(int length) {
    requestLength = length;
    if (chanel) {
        // The channel answers every request it queues once, in order: a
        // request queued while an earlier one is still out makes that
        // earlier one's outcome stale. A channel that does not count its
        // queue (-1) or never fills it (0 after) is not counted.
        const int before = chanel->GetPendingCount();
        if (chanel->SendPacket(requestFrame, length, step, false) && before >= 0 &&
            chanel->GetPendingCount() > before) {
            ++sendsOutstanding;
        }
        ReportExchange(ExchangeDirection::ToDevice, step, requestFrame, length, "");
    }
    return srWaitAnswer;
}

int ZQTask::StepCreateChanel() {
    if (!CreateChanel()) {
        SetError("Ошибка при создании канала");
    }
    return srWaitEvent;
}

int ZQTask::StepReadIdent() {
    statusText = "Чтение версии прибора";
    int length = kRequestFrameSize;
    BuildReportSlaveId(requestFrame, length, DeviceAddress());
    return SendRequest(length);
}

int ZQTask::StepReadRegisters(const char* text, uint16_t regNumber, uint16_t count) {
    statusText = text;
    int length = kRequestFrameSize;
    BuildReadRegisters(requestFrame, length, DeviceAddress(), regNumber, count);
    return SendRequest(length);
}

void ZQTask::AcceptIdentAnswer(const uint8_t* data, int length, uint8_t* ident) {
    const std::string error = CheckIdentAnswer(data, length, ident);
    if (error.empty()) {
        NextStep();
    } else {
        SetError(error);
    }
}

#pragma once

// Drives an exchange task through the fake channel of the task tests with
// answers made from a fuzz input, as a device of any behaviour would give
// them, and checks what must hold whatever the device does:
//   - a request is sent at most four times (once and three retries) before
//     the task makes progress (another step, fewer records left) or ends;
//   - the task is never left waiting without a request, a time-out or an
//     end (no quiet spell longer than the longest monitoring pause);
//   - an answer taken as data comes from the address asked (any, when the
//     request went to address 0) with the request's function; an answer to
//     another request is retried and named for what it is;
//   - every request carries a good CRC and the configured address;
//   - once the input is used up, a device that repeats its last answer to
//     every request cannot keep the task running.
// A derived driver adds the checks of its task (AfterAnswer, AfterEnd).
// With ZQ_FUZZ_TRACE set in the environment every request, answer and end
// is printed, to follow a failing input by eye.

#include "AnswerFrames.h"
#include "ChanelKinds.h"
#include "Crc16.h"
#include "FakeChanel.h"
#include "FuzzInput.h"
#include "Settings.h"
#include "ZQTask.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

namespace fuzz {

using answers::Bytes;

// Test doubles need an application object (the channel's timer) and a
// private settings folder, so no input ever touches the user's store.
inline void InitTaskTarget(int* argc, char*** argv) {
    static QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    static QCoreApplication app(*argc, *argv);
}

// What one event of the input does.
enum EventType : uint8_t {
    kRaw = 0,      // length byte, that many bytes; the CRC is appended
    kIdent = 1,    // version byte, signature byte (0: "RORI")
    kCurrent = 2,  // the twelve ring registers, 16 bits each
    kSetup = 3,    // the network address
    kArchive = 4,  // kind, next start (16 bits), count, record mode
    kLost = 5,     // the channel reports the packet lost
    kSilence = 6,  // no answer: the task's own time-out runs
    kEcho = 7,     // the request's first six bytes, one of them changed
};
// Flags in the event byte above its type.
constexpr uint8_t kBadCrc = 0x08;        // raw: no CRC; others: a wrong one
constexpr uint8_t kOtherAddress = 0x10;  // from the address after the one asked
constexpr uint8_t kLatePacket = 0x20;    // delivered under the previous packet id

// A request is sent at most this often without progress.
constexpr int kMaxSendsWithoutProgress = 4;
// Ticks of 100 ms a task may stay without sending: the longest monitoring
// pause (1000 s) and a little.
constexpr int kMaxQuietTicks = 10000 + 50;

inline bool Tracing() {
    static const bool on = std::getenv("ZQ_FUZZ_TRACE") != nullptr;
    return on;
}

inline void Trace(const char* what, int step, const Bytes& bytes) {
    if (!Tracing()) {
        return;
    }
    std::fprintf(stderr, "%-8s step %d:", what, step);
    for (uint8_t b : bytes) {
        std::fprintf(stderr, " %02X", b);
    }
    std::fputc('\n', stderr);
}

class TaskDriver {
public:
    TaskDriver(ZQTask& task, FakeChanel* const& fake) : task(task), fake(fake) {}
    virtual ~TaskDriver() = default;

    // Sets the connection options of the run: the device address and the
    // monitoring interval, on top of the (empty) store.
    static void SetConnection(uint8_t address, int32_t interval = 6) {
        ChanelSetupOverlay overlay;
        overlay.CurrentChanel = ctComPort;
        overlay.NetAddress = address;
        overlay.ComPortName = "/dev/null";
        overlay.MonitoringInterval = interval;
        SetChanelSetupOverlay(overlay);
    }

    void Run(FuzzInput& in) {
        task.Tick();
        task.Tick();
        FUZZ_CHECK(fake != nullptr, "no channel after step 1");
        fake->InjectState(csConnecting);
        fake->InjectState(csConnected);
        progressKey = ProgressKey();
        int repeated = 0;
        while (Running() && WaitForRequest()) {
            if (!in.Empty()) {
                Event(in);
            } else if (lastAnswer) {
                // A device that keeps giving its last answer, whatever is asked.
                FUZZ_CHECK(++repeated <= RepeatLimit(), "the task does not end");
                Answer(*lastAnswer, task.GetStep());
            } else {
                // Nothing more from the device: the time-outs end the task.
                continue;
            }
        }
        if (Tracing()) {
            std::fprintf(stderr, "end: state %d, \"%s\"\n", task.GetState(),
                         task.GetStatusText().c_str());
        }
        if (!Running()) {
            AfterEnd();
        }
    }

protected:
    // Values that change whenever the task makes progress.
    virtual int64_t ProgressKey() { return task.GetStep(); }
    // Answers the repeating device may give before the task must have ended.
    virtual int RepeatLimit() { return 64; }
    // When a request goes out, `quietTicks` after the one before.
    virtual void AfterRequest(int /*quietTicks*/) {}
    // After each answer, with the request it answered.
    virtual void AfterAnswer(const Bytes& /*request*/, const Bytes& /*answer*/, bool /*taken*/) {}
    virtual void AfterEnd() {}
    // A task-specific answer template; false when `type` is not one.
    virtual bool BuildTemplate(uint8_t /*type*/, FuzzInput& /*in*/, Bytes& /*frame*/) {
        return false;
    }

    bool Running() { return task.GetState() == tsRunning; }
    const Bytes& Request() const { return fake->sent.back().bytes; }

    ZQTask& task;
    FakeChanel* const& fake;

private:
    // Ticks until a new request is out; closes the channel when asked, as a
    // channel does. False when the task ended first.
    bool WaitForRequest() {
        while (Running() && fake->sent.size() == seenRequests) {
            task.Tick();
            FUZZ_CHECK(++quietTicks <= kMaxQuietTicks, "the task waits for ever");
            if (fake->closeCalls > seenCloses) {
                seenCloses = fake->closeCalls;
                fake->InjectState(csDisconnected);
            }
            const int percent = task.GetPercent();
            FUZZ_CHECK(percent >= 0 && percent <= 100, "progress outside 0..100");
        }
        if (!Running()) {
            return false;
        }
        seenRequests = fake->sent.size();
        const Bytes& request = Request();
        Trace("request", task.GetStep(), request);
        FUZZ_CHECK(request.size() >= 4 && CheckFrameCrc(request.data(), request.size()),
                   "a request with a bad CRC");
        FUZZ_CHECK(request[0] == (task.GetChanelSetup().NetAddress & 0xFF),
                   "a request to another address");
        const int64_t key = ProgressKey();
        if (key != progressKey) {
            progressKey = key;
            sendsWithoutProgress = 0;
        }
        FUZZ_CHECK(++sendsWithoutProgress <= kMaxSendsWithoutProgress,
                   "a request sent more than four times without progress");
        AfterRequest(quietTicks);
        quietTicks = 0;
        return true;
    }

    uint8_t AnswerAddress(uint8_t flags) const {
        const uint8_t asked = Request()[0];
        return static_cast<uint8_t>((flags & kOtherAddress) ? asked + 1 : asked);
    }

    // A template frame gets the answering address and its CRC (or a wrong one).
    static Bytes Finish(Bytes frame, uint8_t address, uint8_t flags) {
        frame[0] = address;
        frame.resize(frame.size() - 2);
        frame = answers::WithCrc(frame);
        if (flags & kBadCrc) {
            frame.back() ^= 0x5A;
        }
        return frame;
    }

    void Event(FuzzInput& in) {
        const uint8_t op = in.Byte();
        const uint8_t type = op & 7;
        const uint8_t address = AnswerAddress(op);
        std::optional<Bytes> frame;
        switch (type) {
            case kRaw: {
                Bytes body = in.Bytes(in.Byte());
                frame = (op & kBadCrc) ? body : answers::WithCrc(body);
                break;
            }
            case kIdent: {
                const uint8_t version = in.Byte();
                frame =
                    Finish(answers::Ident(version, in.Byte() == 0 ? "RORI" : "RORX"), address, op);
                break;
            }
            case kSetup: {
                SetupParamsStruct setup;
                setup.NetAddress = in.Byte();
                frame = Finish(answers::SetupParams(setup), address, op);
                break;
            }
            case kLost:
                fake->InjectLost(PacketId(op));
                return;
            case kSilence:
                return;
            case kEcho: {
                Bytes echo(Request().begin(),
                           Request().begin() + std::min<size_t>(6, Request().size()));
                echo.resize(6, 0);
                const uint8_t change = in.Byte();
                if (change != 0) {
                    echo[change % 6] ^= in.Byte() | 1;
                }
                frame = answers::WithCrc(echo);
                if (op & kBadCrc) {
                    frame->back() ^= 0x5A;
                }
                break;
            }
            default: {
                Bytes built;
                if (!BuildTemplate(type, in, built)) {
                    return;
                }
                frame = Finish(built, address, op);
                break;
            }
        }
        Answer(*frame, PacketId(op));
    }

    int PacketId(uint8_t op) const {
        return (op & kLatePacket) ? task.GetStep() - 1 : task.GetStep();
    }

    void Answer(const Bytes& answer, int packetId) {
        lastAnswer = answer;
        const Bytes request = Request();
        const int64_t before = ProgressKey();
        const int stepBefore = task.GetStep();
        // An answer to another request (another address, another function or
        // that function's exception) is retried, never data and never the
        // device's error.
        const bool otherRequest =
            packetId == stepBefore && answer.size() >= 4 &&
            CheckFrameCrc(answer.data(), answer.size()) &&
            ((request[0] != 0 && answer[0] != request[0]) || (answer[1] & 0x7F) != request[1]);
        Trace(packetId == stepBefore ? "answer" : "late", stepBefore, answer);
        fake->InjectAnswer(answer, packetId);
        if (otherRequest) {
            FUZZ_CHECK(Running() ? ProgressKey() == before
                                 : task.GetStatusText() == "Ответ прибора не соответствует запросу",
                       "an answer to another request not retried as such");
        }
        // Taken as data: the task moved on because of it.
        const bool taken = Running() && ProgressKey() != before;
        if (taken) {
            FUZZ_CHECK(packetId == stepBefore, "a late answer taken");
            FUZZ_CHECK(answer.size() >= 4 && CheckFrameCrc(answer.data(), answer.size()),
                       "an answer with a bad CRC taken");
            FUZZ_CHECK(request[0] == 0 || answer[0] == request[0],
                       "an answer from another address taken");
            FUZZ_CHECK(answer[1] == request[1], "an answer of another function taken");
        }
        AfterAnswer(request, answer, taken);
    }

    int quietTicks = 0;  // ticks since the last request went out
    size_t seenRequests = 0;
    int seenCloses = 0;
    int64_t progressKey = 0;
    int sendsWithoutProgress = 0;
    std::optional<Bytes> lastAnswer;
};

}  // namespace fuzz

#include "TChanelThread.h"

#include "Deadline.h"
#include "Exception.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

// The device needs this long after the lines are set before the first frame.
constexpr auto kSettleTime = std::chrono::milliseconds(300);
// Time-outs of a modem call, ms.
constexpr uint32_t kModemReadTotalTimeout = 6000;
constexpr uint32_t kModemReadIntervalTimeout = 100;

void Sleep(std::chrono::milliseconds time) {
    std::this_thread::sleep_for(time);
}

// The silence Modbus RTU keeps between two frames on a line at `baudRate`:
// 3.5 characters of 10 bits (8N1), 1.82 ms at 19200 baud.
std::chrono::microseconds FrameSilence(uint32_t baudRate) {
    if (baudRate == 0) {
        return std::chrono::microseconds(0);
    }
    return std::chrono::microseconds(35 * 1'000'000LL / baudRate);
}

}  // namespace

TChanelThread::~TChanelThread() {
    Stop();
}

int TChanelThread::Execute(int command, ChanelCommonStruct* data) {
    switch (command) {
        case cmdOpen:
            // A new line owes no answers.
            FLedger.Clear();
            FPort.Open(data->PortName, data->BaudRate, data->ReadTotalTimeout);
            // A modem's line keeps its own frames apart.
            FFrameSilence =
                data->ModemTimeouts ? std::chrono::microseconds(0) : FrameSilence(data->BaudRate);
            FLineQuietFrom = {};
            LineSetup(*data);
            break;
        case cmdClose:
            FPort.Close();
            FLedger.Clear();
            break;
        case cmdAttach: {
            // A handed-over descriptor is closed once the port has its own
            // copy, whatever happens next.
            KernelObject handedOver(data->HandOver ? data->PortHandle : -1);
            data->HandOver = 0;
            FLedger.Clear();
            FPort.Attach(data->PortHandle);
            // A modem call's port: the modems keep the frames apart.
            FFrameSilence = std::chrono::microseconds(0);
            FLineQuietFrom = {};
            SetReadTimeouts(data->ReadTotalTimeout, data->ReadIntervalTimeout);
            FPort.StartNotify(comprt::EV_RLSD, NotifyWindow, kPortEventNotice);
            Sleep(kSettleTime);
            break;
        }
        case cmdTransfer:
        case cmdTransferQuiet:
            Transfer(*data);
            break;
        case cmdWakeUp:
            WakeUp(data->SendFF != 0);
            break;
        default:
            break;
    }
    return 0;
}

void TChanelThread::StopWatching() {
    FPort.StopNotify();
}

void TChanelThread::SetReadTimeouts(uint32_t readTotalTimeout, uint32_t readIntervalTimeout) {
    comprt::CommTimeouts timeouts = FPort.GetTimeouts();
    timeouts.ReadIntervalTimeout = readIntervalTimeout;
    timeouts.ReadTotalTimeoutConstant = readTotalTimeout;
    // Writes have no time limit.
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    FPort.SetTimeouts(timeouts);
}

void TChanelThread::LineSetup(const ChanelCommonStruct& data) {
    if (data.ModemTimeouts) {
        SetReadTimeouts(kModemReadTotalTimeout, kModemReadIntervalTimeout);
        return;
    }
    SetReadTimeouts(data.ReadTotalTimeout, data.ReadIntervalTimeout);
    FPort.Escape(data.Dtr ? comprt::SETDTR : comprt::CLRDTR);
    FPort.Escape(data.Rts ? comprt::SETRTS : comprt::CLRRTS);
    Sleep(kSettleTime);
}

void TChanelThread::Transfer(ChanelCommonStruct& data) {
    const size_t length = std::min<size_t>(data.TxLength, ChanelCommonStruct::kBufferSize);
    // The line's silence between the last frame and this one; what came in
    // meanwhile is no answer to this request.
    std::this_thread::sleep_until(FLineQuietFrom + FFrameSilence);
    FPort.Purge();
    PostNotice(kActivityNotice, 1);
    // Returns once the bytes have left the port, so the answer's time runs
    // from the end of the request.
    FPort.Write(data.TxBuffer, length);
    FLineQuietFrom = std::chrono::steady_clock::now();
    FLedger.Begin(data.TxBuffer, length, data.PacketId);
    ReadAnswer(data);
    PostNotice(kActivityNotice, 0);
}

void TChanelThread::ReadAnswer(ChanelCommonStruct& data) {
    const comprt::CommTimeouts timeouts = FPort.GetTimeouts();
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(timeouts.ReadTotalTimeoutConstant);
    std::vector<uint8_t> got;
    Sorting sorting;
    AnswerLedger::Scan scan;
    auto handOver = [&](const uint8_t* bytes, size_t length) {
        FPort.SetTimeouts(timeouts);
        const size_t size = std::min(length, sizeof data.RxBuffer);
        std::copy_n(bytes, size, data.RxBuffer);
        data.RxLength = static_cast<uint16_t>(size);
    };
    uint8_t piece[ChanelCommonStruct::kBufferSize];
    for (;;) {
        // Each read returns with the bytes as they arrive, and what has come
        // is sorted at once: a whole answer ends the transfer there. Nothing
        // yet, an answer under way, or only late and stale frames taken out:
        // the wait goes on to the deadline. Bytes that make no whole answer
        // (a function whose answer tells no length, a frame whose CRC fails)
        // end at the line's first silence of ReadIntervalTimeout.
        int waitMs = MsUntil(deadline);
        if (!got.empty() && !scan.pending && timeouts.ReadIntervalTimeout != 0) {
            waitMs = static_cast<int>(
                std::min<int64_t>(waitMs, static_cast<int64_t>(timeouts.ReadIntervalTimeout)));
        }
        if (waitMs == 0) {
            break;
        }
        comprt::CommTimeouts wait = timeouts;
        wait.ReadIntervalTimeout = comprt::CommTimeouts::kReadOnArrival;
        wait.ReadTotalTimeoutMultiplier = 0;
        wait.ReadTotalTimeoutConstant = static_cast<uint32_t>(waitMs);
        FPort.SetTimeouts(wait);
        size_t received = 0;
        try {
            received = FPort.Read(piece, sizeof piece);
        } catch (const Exception& e) {
            if (std::string(e.what()) != comprt::kNoAnswerText) {
                FPort.SetTimeouts(timeouts);
                throw;
            }
            break;
        }
        FLineQuietFrom = std::chrono::steady_clock::now();
        got.insert(got.end(), piece, piece + received);
        scan = SortReceived(got, true, false, sorting);
        if (scan.frame) {
            handOver(got.data() + scan.frame->start, scan.frame->length);
            return;
        }
    }
    if (!got.empty()) {
        handOver(got.data(), got.size());
    } else if (!sorting.stale.empty()) {
        handOver(sorting.stale.data(), sorting.stale.size());
    } else {
        FPort.SetTimeouts(timeouts);
        FLedger.Owe();
        throw Exception(comprt::kNoAnswerText);
    }
}

void TChanelThread::WakeUp(bool sendFF) {
    FPort.Escape(comprt::SETDTR);
    FPort.Escape(comprt::SETRTS);
    Sleep(std::chrono::milliseconds(800));
    FPort.Escape(comprt::CLRRTS);
    Sleep(std::chrono::milliseconds(100));
    if (sendFF) {
        const uint8_t ff = 0xFF;
        FPort.Write(&ff, 1);
    }
    Sleep(std::chrono::milliseconds(600));
}

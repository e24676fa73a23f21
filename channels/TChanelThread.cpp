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
// Gap between two frames on the line.
constexpr auto kFrameGap = std::chrono::milliseconds(20);
// Time-outs of a modem call, ms.
constexpr uint32_t kModemReadTotalTimeout = 6000;
constexpr uint32_t kModemReadIntervalTimeout = 100;

void Sleep(std::chrono::milliseconds time) {
    std::this_thread::sleep_for(time);
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
    FPort.Purge();
    PostNotice(kActivityNotice, 1);
    FPort.Write(data.TxBuffer, length);
    FLedger.Begin(data.TxBuffer, length, data.PacketId);
    // One millisecond per byte sent: the request is on the line (about 0.52 ms
    // a byte at 19200 baud) before the answer is awaited.
    Sleep(std::chrono::milliseconds(length));
    ReadAnswer(data);
    PostNotice(kActivityNotice, 0);
    Sleep(kFrameGap);
}

void TChanelThread::ReadAnswer(ChanelCommonStruct& data) {
    const comprt::CommTimeouts timeouts = FPort.GetTimeouts();
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(timeouts.ReadTotalTimeoutConstant);
    std::vector<uint8_t> got;
    Sorting sorting;
    auto handOver = [&](const uint8_t* bytes, size_t length) {
        FPort.SetTimeouts(timeouts);
        const size_t size = std::min(length, sizeof data.RxBuffer);
        std::copy_n(bytes, size, data.RxBuffer);
        data.RxLength = static_cast<uint16_t>(size);
    };
    uint8_t piece[ChanelCommonStruct::kBufferSize];
    for (bool first = true;; first = false) {
        if (!first) {
            // The next read gets what is left of the first one's total time.
            const int left = MsUntil(deadline);
            if (left == 0) {
                break;
            }
            comprt::CommTimeouts rest = timeouts;
            rest.ReadTotalTimeoutConstant = static_cast<uint32_t>(left);
            FPort.SetTimeouts(rest);
        }
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
        got.insert(got.end(), piece, piece + received);
        const AnswerLedger::Scan scan = SortReceived(got, true, false, sorting);
        if (scan.frame) {
            handOver(got.data() + scan.frame->start, scan.frame->length);
            return;
        }
        // Read on while an answer is under way, or while only late and
        // stale frames came; anything else is handed over as it came.
        if (!scan.pending && !(sorting.any && got.empty())) {
            break;
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

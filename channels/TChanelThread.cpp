#include "TChanelThread.h"

#include <algorithm>
#include <chrono>
#include <thread>

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
            FPort.Open(data->PortName, data->BaudRate, data->ReadTotalTimeout);
            LineSetup(*data);
            break;
        case cmdClose:
            FPort.Close();
            break;
        case cmdAttach: {
            // A handed-over descriptor is closed once the port has its own
            // copy, whatever happens next.
            KernelObject handedOver(data->HandOver ? data->PortHandle : -1);
            data->HandOver = 0;
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
    // One millisecond per byte sent: the request is on the line (about 0.52 ms
    // a byte at 19200 baud) before the answer is awaited.
    Sleep(std::chrono::milliseconds(length));
    data.RxLength =
        static_cast<uint16_t>(FPort.Read(data.RxBuffer, ChanelCommonStruct::kBufferSize));
    PostNotice(kActivityNotice, 0);
    Sleep(kFrameGap);
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

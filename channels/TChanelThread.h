#pragma once

#include "ChanelCommonStruct.h"
#include "ComPort.h"
#include "QueueThread.h"

#include <cstdint>

// Commands of the channels' queue.
enum : int32_t {
    cmdOpen = 1,
    cmdClose = 2,
    cmdAttach = 3,
    cmdTransfer = 4,
    cmdTransferQuiet = 5,
    cmdWakeUp = 6,
};

// The channels' worker: the command queue and the serial port it drives.
// Every blocking port operation of a channel runs here, on the worker thread.
//
// cmdOpen: open the port (PortName, BaudRate, ReadTotalTimeout), then the
//   line setup: read time-outs (ModemTimeouts: 6000 ms total, 100 ms interval,
//   lines left alone; else ReadTotalTimeout and ReadIntervalTimeout), DTR and
//   RTS as asked, and 300 ms for the device to settle.
// cmdClose: close the port (never fails).
// cmdAttach: adopt PortHandle, set the read time-outs, watch the carrier
//   (port-event notices to NotifyWindow), 300 ms pause.
// cmdTransfer, cmdTransferQuiet: purge, activity notice (sending), write
//   TxLength bytes, wait 1 ms per byte, read up to 512 bytes into RxBuffer
//   (none: "Прибор не отвечает"), RxLength, activity notice (received),
//   20 ms pause between frames.
// cmdWakeUp: DTR and RTS on, 800 ms, RTS off, 100 ms, one 0xFF if SendFF,
//   600 ms.
class TChanelThread : public QueueThread<ChanelCommonStruct> {
public:
    TChanelThread() = default;
    // Stops the worker if the owner has not, then closes the port.
    ~TChanelThread() override;

    int Execute(int command, ChanelCommonStruct* data) override;

    // Worker thread only while the worker runs.
    comprt::ComPort& Port() { return FPort; }

private:
    void LineSetup(const ChanelCommonStruct& data);
    void SetReadTimeouts(uint32_t readTotalTimeout, uint32_t readIntervalTimeout);
    void Transfer(ChanelCommonStruct& data);
    void WakeUp(bool sendFF);

    comprt::ComPort FPort;
};

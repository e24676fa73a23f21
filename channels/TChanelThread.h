#pragma once

#include "ComPort.h"
#include "TChanelWorker.h"

#include <cstdint>

// The worker of a serial port (a COM port, or a modem call's port): every
// blocking port operation of the channel runs here, on the worker thread.
//
// cmdOpen: open the port (PortName, BaudRate, ReadTotalTimeout), then the
//   line setup: read time-outs (ModemTimeouts: 6000 ms total, 100 ms interval,
//   lines left alone; else ReadTotalTimeout and ReadIntervalTimeout), DTR and
//   RTS as asked, and 300 ms for the device to settle.
// cmdClose: close the port (never fails); nothing is owed any more.
// cmdAttach: adopt PortHandle, set the read time-outs, watch the carrier
//   (port-event notices to NotifyWindow), 300 ms pause.
// cmdTransfer, cmdTransferQuiet: purge, activity notice (sending), write
//   TxLength bytes, wait 1 ms per byte, read up to 512 bytes into RxBuffer,
//   RxLength, activity notice (received), 20 ms pause between frames.
//   What the read brings is sorted by the ledger: a late answer to an
//   earlier request that timed out, or a stale frame, is dropped with a
//   note and the read goes on within the same total time; the answer is
//   handed over alone. Bytes that make no answer are handed over as they
//   came (the task judges them). Nothing by the end: "Прибор не отвечает",
//   and the request is owed its answer.
// cmdWakeUp: DTR and RTS on, 800 ms, RTS off, 100 ms, one 0xFF if SendFF,
//   600 ms.
class TChanelThread : public TChanelWorker {
public:
    TChanelThread() = default;
    // Stops the worker if the owner has not, then closes the port.
    ~TChanelThread() override;

    int Execute(int command, ChanelCommonStruct* data) override;
    // Ends the port's monitor.
    void StopWatching() override;

    // Worker thread only while the worker runs.
    comprt::ComPort& Port() { return FPort; }

private:
    void LineSetup(const ChanelCommonStruct& data);
    void SetReadTimeouts(uint32_t readTotalTimeout, uint32_t readIntervalTimeout);
    void Transfer(ChanelCommonStruct& data);
    // Reads the answer to the request under way into `data`; raises
    // kNoAnswerText when none came.
    void ReadAnswer(ChanelCommonStruct& data);
    void WakeUp(bool sendFF);

    comprt::ComPort FPort;
};

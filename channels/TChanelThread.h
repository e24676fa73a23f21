#pragma once

#include "ComPort.h"
#include "TChanelWorker.h"

#include <chrono>
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
// cmdTransfer, cmdTransferQuiet: the line's silence between frames since
//   its last byte (3.5 characters on a line opened here; nothing on a
//   modem's), purge, activity notice (sending), write TxLength bytes (until
//   they have left the port), read up to 512 bytes into RxBuffer, RxLength,
//   activity notice (received). What the read brings is sorted by the
//   ledger as it arrives: an answer whose header tells its length ends the
//   read with its last byte; a late answer to an earlier request that timed
//   out, or a stale frame, is dropped with a note and the read goes on
//   within the same total time; the answer is handed over alone. Bytes that
//   make no whole answer are handed over as they came once the line falls
//   silent for ReadIntervalTimeout (the task judges them). Nothing by the
//   end: "Прибор не отвечает", and the request is owed its answer.
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
    // The silence the line keeps between two frames, and since when it has
    // been quiet: the last byte received, or the end of the last request.
    std::chrono::microseconds FFrameSilence{0};
    std::chrono::steady_clock::time_point FLineQuietFrom;
};

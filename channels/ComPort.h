#pragma once

#include "CommTimeouts.h"
#include "KernelObject.h"
#include "Thread.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

class QObject;

namespace comprt {

// Texts of the errors of the serial layer.
inline constexpr const char* kPortNotOpenText = "COM-порт не открыт";
inline constexpr const char* kNoAnswerText = "Прибор не отвечает";
inline constexpr const char* kBadHandleText = "Неверный дескриптор порта";

// Comm events reported by the monitor.
constexpr uint32_t EV_RXCHAR = 0x1;
constexpr uint32_t EV_CTS = 0x8;
constexpr uint32_t EV_DSR = 0x10;
constexpr uint32_t EV_RLSD = 0x20;  // carrier detect; a hung-up line counts as its drop
constexpr uint32_t EV_RING = 0x100;

// Line switches of Escape.
constexpr int SETRTS = 3;
constexpr int CLRRTS = 4;
constexpr int SETDTR = 5;
constexpr int CLRDTR = 6;

// A serial port for the channel's worker thread: blocking Read and Write over
// a non-blocking descriptor, and an optional monitor thread that reports
// changes of the modem lines, and a hang-up, as port-event notices.
//
// Opened ports are exclusive: TIOCEXCL plus an exclusive flock, so a port held
// by another program or another copy of this one does not open. The line is
// raw 8N1, CLOCAL | CREAD, without RTS/CTS or XON/XOFF; DTR and RTS are
// switched by the caller (Escape).
//
// Adopted descriptors (Attach): the port works on its own duplicate of the
// descriptor and closes only that duplicate. The owner of the original (a
// modem connection) may close it at any time, e.g. when the call hangs up;
// the worker never uses the original's number, so when the system hands that
// number to a newly opened file no byte of the port can go there. A transfer
// that races such a hang-up fails on the dead line (EIO, POLLHUP) and is
// reported like any failed transfer.
//
// Errors are raised: Exception with one of the texts above, or win_error with
// errno for a failed system call. Every operation except Run belongs to the
// worker thread (or to the owner once the worker has ended).
class ComPort : public Thread {
public:
    class ComList;

    // Raises win_error when the stop event cannot be created.
    ComPort();
    ~ComPort() override;

    // Opens the device the name reaches (see PortNames.h). Any failure raises
    // kPortNotOpenText and leaves the port closed.
    void Open(const std::string& name);
    // Opens and sets the line (raw 8N1 at baudRate) and a read total time-out
    // of readTotalTimeout ms. A rejected setting raises win_error; the port
    // is then closed.
    void Open(const std::string& name, uint32_t baudRate, uint32_t readTotalTimeout);
    // Adopts an open descriptor; -1 changes nothing. Anything but a character
    // device raises kBadHandleText and leaves the port closed.
    void Attach(int handle);
    // Stops the monitor and closes the port; nothing when it is closed. An
    // adopted descriptor's original stays open.
    void Close();

    bool IsOpen() const { return FHandle.Valid(); }
    bool IsAttached() const { return FAttached; }

    // Reads up to `size` bytes by the time-outs (CommTimeouts.h) and returns
    // how many came, at least 1. Nothing by the end raises kNoAnswerText. A
    // hung-up line ends the read at once.
    size_t Read(void* buffer, size_t size);
    // Writes all `size` bytes and waits until they have left; fewer raises
    // win_error(EIO).
    void Write(const void* buffer, size_t size);
    // Discards what waits in the driver in both directions.
    void Purge();

    // Starts the monitor: port-event notices (`message`, the event mask, this
    // port) to `window`, for the events of `eventMask` (EV_*). After a
    // hang-up it posts once and stops watching.
    void StartNotify(uint32_t eventMask, QObject* window, uint32_t message);
    // Ends the monitor and waits for it; nothing when none runs.
    void StopNotify();

    // The descriptor the port works on.
    int Handle() const;
    CommTimeouts GetTimeouts() const;
    void SetTimeouts(const CommTimeouts& timeouts);
    // SETDTR, CLRDTR, SETRTS or CLRRTS. A device without modem lines (a
    // pseudo-terminal) ignores them; another failure raises win_error.
    void Escape(int function);

    static CommTimeouts MakeTimeouts(uint32_t readTotalTimeout);

protected:
    // The monitor thread's body.
    void Run() override;

private:
    void CheckOpen() const;
    void Configure(uint32_t baudRate);
    // CD, CTS, DSR and RI as TIOCM_* bits; `previous` when the port has no lines.
    int ModemLines(int previous) const;

    KernelObject FHandle;              // the port, -1 when closed
    QObject* FNotifyWindow = nullptr;  // receiver of the monitor's notices
    uint32_t FNotifyMessage = 0;
    uint32_t FEventMask = 0;
    KernelObject FStopEvent;   // eventfd, readable = the monitor ends
    mutable std::mutex FLock;  // Read against the monitor's line snapshots
    bool FAttached = false;
    CommTimeouts FTimeouts;
};

}  // namespace comprt

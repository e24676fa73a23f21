#pragma once

#include "ModemModel.h"
#include "SimDevices.h"
#include "SimLog.h"
#include "SimOptions.h"
#include "SimPort.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqsim {

// The simulator's loop: reads the line or the network connection, cuts
// requests at the silence that ends a frame (3.5 character times, at least
// 2 ms), lets the modem and the device the request is addressed to answer
// (one device per address of the options, all on this line), paces the
// answer at the line speed (in pieces, with delays, when asked to) and
// injects that device's faults. Start and Run belong to one thread;
// RequestStop may be called from any thread or a signal handler.
class Simulator {
public:
    // Called with the line's path when it is opened and after every
    // re-opening; on the network with the address listened on, or with
    // "connected to ADDRESS" for each call made.
    using PathSink = std::function<void(const std::string&)>;

    // `stopFd`, when given, is a descriptor that becomes readable, and stays
    // so, when the run is to end (the devices of a fleet share one); it is
    // not owned. Without it the simulator makes its own.
    Simulator(const SimOptions& options, PathSink onPath, SimLog log = SimLog(), int stopFd = -1);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the line; false with a message when it cannot be opened.
    bool Start(std::string& error);
    // Runs until RequestStop, the idle time, or a hang-up with
    // --exit-on-hangup. Returns the exit status: 0, or 1 on a line error.
    int Run();
    void RequestStop();

private:
    // Reads what the line holds; false when the line was lost.
    bool ReadLine(short revents);
    void OnLineBytes(const uint8_t* data, size_t length, SimTime now);
    std::optional<SimTime> NextWake() const;
    SimClock::duration IdleLimit() const;
    void ApplyModem(ModemOutput& out, SimTime now);
    void HandleFrame(SimTime now);
    // Hangs the line up; false when the run is to end.
    bool HangUp(const std::string& why);
    // Logs and announces; a new connection gets the banner first.
    void OnPortEvent(const PortEvent& event);
    // Waits until `t`; false when a stop was asked for meanwhile (Run sees it).
    bool SleepUntil(SimTime t) const;
    void WriteAnswer(const std::vector<uint8_t>& answer);
    bool WritePaced(const uint8_t* data, size_t length);
    bool WriteAll(const uint8_t* data, size_t length);
    SimClock::duration WireTime(size_t bytes) const;
    SimClock::duration FrameGap() const;
    void Dump() const;
    // The device a request is addressed to (the first in the list for
    // address 0); none when the CRC is bad or no device has the address.
    SimDevice* Addressee(const std::vector<uint8_t>& frame);
    // "device 5: " in front of a note, when the line has several devices.
    std::string Named(const SimDevice& device, const std::string& note) const;

    SimOptions options_;
    PathSink onPath_;
    SimLog log_;
    std::unique_ptr<SimPort> port_;
    std::vector<SimDevice> devices_;
    std::unique_ptr<ModemModel> modem_;
    int stopPipe_[2] = {-1,
                        -1};  // [0] read by the loop; [1] written by RequestStop, -1 when shared
    bool ending_ = false;
    int exitCode_ = 0;

    std::vector<uint8_t> frame_;
    SimTime frameFirst_{};
    SimTime frameLast_{};
    SimTime lastRx_{};
    int requests_ = 0;  // addressed to any device of the line (--hangup-after)
    bool hungUpOnce_ = false;
    int connectionAnswers_ = 0;  // answers written on this network connection
};

}  // namespace zqsim

#pragma once

#include "SimOptions.h"
#include "Simulator.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zqsim {

// A fleet on the network: options.fleet devices, each listening on a socket
// of its own, from one process. Device K (counted from 0) has the content of
// NthDeviceContent and runs as a Simulator of its own on a thread of its own
// with a small stack, waiting in poll() while nobody asks it, so that every
// device keeps its own time (answer delay, pacing, late answers) whatever
// the others do. The last options.fleetRefuse devices only hold their port
// bound, without listening, so that a call there is refused; the
// options.fleetMute before them take requests and never answer.
// Start, Run and the destructor belong to one thread; RequestStop may be
// called from any thread or a signal handler.
class SimFleet {
public:
    // Called once per device, in order, with "ADDRESS SERIAL STATE".
    using LineSink = std::function<void(const std::string&)>;

    // Does not own `logStream`; null = no log.
    SimFleet(const SimOptions& options, LineSink onLine, std::FILE* logStream);
    ~SimFleet();
    SimFleet(const SimFleet&) = delete;
    SimFleet& operator=(const SimFleet&) = delete;

    // Opens every endpoint and starts every device, then hands out the
    // lines; false, with a message, when one cannot be opened or started
    // (those started are stopped again and nothing is handed out).
    bool Start(std::string& error);
    // Waits for RequestStop, then stops every device. Returns the exit
    // status: 0, or 1 when a device ended on a network error.
    int Run();
    void RequestStop();

private:
    struct Member;

    bool RaiseDescriptorLimit(std::string& error) const;
    bool Open(int index, Member& member, std::string& error);
    bool StartThread(Member& member, std::string& error);
    int StopAll();

    SimOptions options_;
    LineSink onLine_;
    std::FILE* logStream_;
    // Written once by RequestStop and never read empty: every device's loop
    // sees it readable and ends.
    int stopPipe_[2] = {-1, -1};
    std::vector<std::unique_ptr<Member>> members_;
};

}  // namespace zqsim

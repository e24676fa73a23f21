// A simulated device in the test's own process: zqsim's loop on a
// pseudo-terminal in a thread of its own, reachable as port COM7 (a link in
// the private port folder).
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zqsim {
class Simulator;
}

// Kept apart from Qt headers: the simulator's own names include `slots`.
class SimDevice {
public:
    // `args` are zqsim's options; --pty and the COM7 link are added.
    explicit SimDevice(const std::vector<std::string>& args);
    ~SimDevice();
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    bool Started() const { return started; }
    const std::string& Error() const { return error; }

private:
    std::unique_ptr<zqsim::Simulator> simulator;
    std::thread thread;
    bool started = false;
    std::string error;
};

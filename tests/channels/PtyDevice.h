#pragma once

#include <QCoreApplication>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The far end of a serial line: a pseudo-terminal pair. The port under test
// opens SlavePath(); the test (or a scripted responder thread) talks through
// the master. The device keeps a slave descriptor of its own open, so the
// master never sees a hang-up before HangUp().
class PtyDevice {
public:
    struct Reply {
        Bytes bytes;          // written back at once; empty = no answer
        bool hangUp = false;  // then close the master, as a pulled cable would
    };
    // Called on the responder thread with each request: the bytes that came
    // until 30 ms of silence.
    using Script = std::function<Reply(const Bytes& request)>;

    PtyDevice();
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    const std::string& SlavePath() const { return slavePath; }
    int Slave() const { return slave; }

    void Respond(Script script);
    // Requests seen by the responder so far.
    std::vector<Bytes> Requests() const;

    // Test thread, without a responder running.
    void Send(const Bytes& bytes);
    // Reads what the port wrote until `count` bytes came or `within` passed.
    Bytes Receive(size_t count, std::chrono::milliseconds within = std::chrono::seconds(5));

    // Stops the responder and closes the master and the device's slave.
    void HangUp();

private:
    void StopResponder();
    void Serve();

    int master = -1;
    int slave = -1;
    int stopEvent = -1;
    std::string slavePath;
    Script script;
    std::thread responder;
    mutable std::mutex mutex;
    std::vector<Bytes> requests;
    bool hungUp = false;
};

// Runs the GUI thread's events until `done` holds or `within` passed; returns
// `done`'s final value.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds within = std::chrono::seconds(5));
// Runs the GUI thread's events for `time`.
void PumpEvents(std::chrono::milliseconds time);

// Threads of this process now.
int ThreadCount();

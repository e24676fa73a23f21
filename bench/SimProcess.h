#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A zqsim child process on a fresh pseudo-terminal or the network. Stopped
// (SIGTERM, then SIGKILL after 5 s) by Stop or the destructor. Its standard
// error is this program's.
//
// Started with fork() and exec rather than QProcess: QProcess starts its
// child with a raw clone that the thread sanitizer does not follow, and after
// it the sanitizer took every hand-over between the GUI thread and the
// channel's worker, ordered by the queue's semaphore, for a data race.
class SimProcess {
public:
    SimProcess() = default;
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts `program` with `args` and waits (at most 10 s) for the first
    // line of its output: the slave path of its line, or the address it
    // listens on. False, with `error`, when it does not come.
    bool Start(const std::string& program, const std::vector<std::string>& args,
               std::string& error);
    void Stop();

    const std::string& LinePath() const { return linePath; }
    // The first `count` lines of its output (the first is LinePath once
    // Start has read it), read as they come, at most `timeoutMs` in all;
    // false with `error` when they do not come.
    bool Lines(size_t count, std::vector<std::string>& lines, int timeoutMs, std::string& error);

    // Starts `program` as the window's benchmarks want it: a device at
    // 19200 baud behind the port name COM7 of the port folder, and the
    // connection settings set to it (address 1, monitoring every 2 s).
    bool StartOnCom7(const std::string& program, std::string& error);

private:
    pid_t pid = -1;
    int output = -1;  // read end of the child's standard output
    std::string linePath;
    std::string rest;  // output after the first line, not yet taken
};

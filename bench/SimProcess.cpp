#include "SimProcess.h"

#include "PortNames.h"
#include "Settings.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Waits at most `ms` for the child to end; true when it has been reaped.
bool ReapWithin(pid_t pid, int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

SimProcess::~SimProcess() {
    Stop();
}

bool SimProcess::Start(const std::string& program, const std::vector<std::string>& args,
                       std::string& error) {
    Stop();
    linePath.clear();
    rest.clear();
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    // Everything the child needs is prepared before the fork.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);

    pid = fork();
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        close(pipeFds[0]);
        close(pipeFds[1]);
        return false;
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here to the exec.
        dup2(pipeFds[1], STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    output = pipeFds[0];

    // The first line of output is the line's path: the device is ready.
    std::vector<std::string> first;
    if (!Lines(1, first, 10000, error)) {
        error = program + " gave no line path";
        Stop();
        return false;
    }
    linePath = first.front();
    if (linePath.empty()) {
        error = program + " gave an empty line path";
        Stop();
        return false;
    }
    return true;
}

bool SimProcess::Lines(size_t count, std::vector<std::string>& lines, int timeoutMs,
                       std::string& error) {
    lines.clear();
    if (!linePath.empty()) {
        lines.push_back(linePath);
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t end;
        while (lines.size() < count && (end = rest.find('\n')) != std::string::npos) {
            lines.push_back(rest.substr(0, end));
            rest.erase(0, end + 1);
        }
        if (lines.size() >= count) {
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd pfd{output, POLLIN, 0};
        const int ready = left.count() > 0 ? poll(&pfd, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        char buffer[4096];
        const ssize_t got = ready > 0 ? read(output, buffer, sizeof buffer) : 0;
        if (got <= 0) {
            error = "the simulator gave " + std::to_string(lines.size()) + " lines of " +
                    std::to_string(count);
            return false;
        }
        rest.append(buffer, static_cast<size_t>(got));
    }
}

bool SimProcess::StartOnCom7(const std::string& program, std::string& error) {
    const std::string link = comprt::PortFolder() + "/COM7";
    if (!Start(program, {"--pty", "--link", link, "--baud", "19200"}, error)) {
        return false;
    }
    ChanelSetupStruct chanel;
    chanel.ComPortName = "COM7";
    chanel.NetAddress = 1;
    chanel.MonitoringInterval = 2;
    SaveChanelSetup(chanel);
    return true;
}

void SimProcess::Stop() {
    if (pid > 0) {
        kill(pid, SIGTERM);
        if (!ReapWithin(pid, 5000)) {
            kill(pid, SIGKILL);
            ReapWithin(pid, 2000);
        }
        pid = -1;
    }
    if (output >= 0) {
        close(output);
        output = -1;
    }
    linePath.clear();
}

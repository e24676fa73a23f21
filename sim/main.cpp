// zqsim: a simulated ZQ device (and dial-up modem) on a pseudo-terminal, a
// serial device or the network, or a fleet of devices on the network.
#include "SimFleet.h"
#include "SimOptions.h"
#include "Simulator.h"
#include "Version.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

zqsim::Simulator* gSimulator = nullptr;
zqsim::SimFleet* gFleet = nullptr;

extern "C" void OnStopSignal(int) {
    if (gSimulator != nullptr) {
        gSimulator->RequestStop();
    }
    if (gFleet != nullptr) {
        gFleet->RequestStop();
    }
}

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

// Every line path and address goes out on a line of its own at once:
// scripts wait for it.
void PrintLine(const std::string& line) {
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

int RunFleet(const zqsim::SimOptions& options, std::FILE* logStream) {
    zqsim::SimFleet fleet(options, PrintLine, logStream);
    std::string error;
    if (!fleet.Start(error)) {
        std::fprintf(stderr, "zqsim: %s\n", error.c_str());
        return 1;
    }
    gFleet = &fleet;
    CatchStopSignals();
    const int status = fleet.Run();
    gFleet = nullptr;
    return status;
}

int RunOne(const zqsim::SimOptions& options, std::FILE* logStream) {
    zqsim::Simulator simulator(options, PrintLine, zqsim::SimLog(logStream));
    std::string error;
    if (!simulator.Start(error)) {
        std::fprintf(stderr, "zqsim: %s\n", error.c_str());
        return 1;
    }
    gSimulator = &simulator;
    CatchStopSignals();
    const int status = simulator.Run();
    gSimulator = nullptr;
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    zqsim::SimOptions options;
    std::string error;
    switch (zqsim::ParseSimOptions(args, options, error)) {
        case zqsim::ParseOutcome::Help:
            std::fputs(zqsim::SimUsage().c_str(), stdout);
            return 0;
        case zqsim::ParseOutcome::Version:
            std::printf("zqsim %s\n", ZQ_VERSION_STRING);
            return 0;
        case zqsim::ParseOutcome::Error:
            std::fprintf(stderr, "zqsim: %s\n", error.c_str());
            return 2;
        case zqsim::ParseOutcome::Run:
            break;
    }

    std::FILE* logStream = nullptr;
    if (options.log) {
        logStream = options.logFile.empty() ? stderr : std::fopen(options.logFile.c_str(), "a");
        if (logStream == nullptr) {
            std::fprintf(stderr, "zqsim: cannot open the log file %s\n", options.logFile.c_str());
            return 2;
        }
    }

    const int status =
        options.fleet > 0 ? RunFleet(options, logStream) : RunOne(options, logStream);
    if (logStream != nullptr && logStream != stderr) {
        std::fclose(logStream);
    }
    return status;
}

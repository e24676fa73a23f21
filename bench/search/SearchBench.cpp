// zq_search_bench: how long "Поиск прибора" takes over a serial line and a
// network connection where nobody answers, and over a serial line with a
// simulated device on it.
#include "ChanelKinds.h"
#include "Settings.h"
#include "SimProcess.h"
#include "ZQSearchTask.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <pty.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

const char* const kUsage = R"(Usage: zq_search_bench [OPTION]...
Runs the search task as the window runs it (ticked every 100 ms) and prints
how long it took and the time per address:
  1. addresses 1..247 of a serial line with nothing on it (a pseudo-terminal
     nobody answers on); target: at most 40 s;
  2. the same line with a simulated device (zqsim, 19200 baud) at address 200,
     which must be found;
  3. addresses 1..N over a TCP connection to a server that never answers;
     target: the serial line's allowance (40 s / 247) plus the network's
     quick answer time-out (1 s) an address.

  --network N   addresses asked over the network (default 10, 0 = skip)
  --zqsim PATH  the simulator program (default: the one built with this)
  --help        this text

Exit status: 0 when every search ran to its end (and found the device), 1
otherwise, 2 on a usage error. A missed target is reported, not an error.
)";

using Clock = std::chrono::steady_clock;

struct Outcome {
    bool done = false;
    double seconds = 0;        // the first tick to the end, connecting and closing included
    double askingSeconds = 0;  // the first request to the last answer, loss or time-out
    std::vector<DeviceFind> finds;
};

// The connection as the overlay sets it; stopped after `limitSeconds`.
Outcome RunSearch(int first, int last, double limitSeconds) {
    ZQSearchTask task(true, first, last);
    std::optional<Clock::time_point> firstRequest;
    Clock::time_point lastOutcome;
    task.SetExchangeSink([&](const ExchangeRecord& record) {
        if (record.direction == ExchangeDirection::ToDevice) {
            firstRequest = firstRequest.value_or(Clock::now());
        } else {
            lastOutcome = Clock::now();
        }
    });
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(100);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        task.Tick();
        if (task.GetState() != tsRunning) {
            loop.quit();
        }
    });
    QTimer::singleShot(static_cast<int>(limitSeconds * 1000), &loop, [&] { loop.quit(); });
    const auto start = Clock::now();
    tick.start();
    loop.exec();
    Outcome outcome;
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (firstRequest) {
        outcome.askingSeconds = std::chrono::duration<double>(lastOutcome - *firstRequest).count();
    }
    outcome.done = task.GetState() == tsDone;
    outcome.finds = task.Finds();
    if (!outcome.done) {
        std::printf("  ended: %s\n", task.GetStatusText().c_str());
    }
    return outcome;
}

void Report(const char* what, int addresses, const Outcome& o, double targetSeconds) {
    std::printf(
        "%s: %d addresses in %.2f s (asking %.2f s, %.1f ms an address), %zu found; "
        "target %.1f s: %s\n",
        what, addresses, o.seconds, o.askingSeconds, o.askingSeconds * 1000 / addresses,
        o.finds.size(), targetSeconds, o.seconds <= targetSeconds ? "met" : "MISSED");
    std::fflush(stdout);
}

void UseSerial(const std::string& path) {
    ChanelSetupOverlay overlay;
    overlay.CurrentChanel = ctComPort;
    overlay.ComPortName = path;
    SetChanelSetupOverlay(overlay);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    std::string zqsim = ZQSIM_PATH;
    int networkAddresses = 10;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--network" && i + 1 < argc) {
            networkAddresses = std::atoi(argv[++i]);
        } else if (arg == "--zqsim" && i + 1 < argc) {
            zqsim = argv[++i];
        } else {
            std::fprintf(stderr, "zq_search_bench: unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }
    if (networkAddresses < 0 || networkAddresses > ZQSearchTask::kMaxAddress) {
        std::fprintf(stderr, "zq_search_bench: --network takes 0..%d\n", ZQSearchTask::kMaxAddress);
        return 2;
    }
    bool ok = true;

    int master = -1;
    int slave = -1;
    char slavePath[256] = {};
    if (::openpty(&master, &slave, slavePath, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    ::close(slave);  // the port opens it by its path; the master stays silent
    UseSerial(slavePath);
    const int all = ZQSearchTask::kLastAddress;
    const Outcome silent = RunSearch(1, all, 120);
    Report("serial line, nobody on it", all, silent, 40);
    ok = ok && silent.done;
    ::close(master);

    SimProcess sim;
    std::string error;
    if (!sim.Start(zqsim, {"--pty", "--baud", "19200", "--address", "200"}, error)) {
        std::fprintf(stderr, "zq_search_bench: %s\n", error.c_str());
        return 1;
    }
    UseSerial(sim.LinePath());
    const Outcome device = RunSearch(1, all, 120);
    Report("serial line, a device at 200", all, device, 40);
    const bool found = device.finds.size() == 1 && device.finds[0].address == 200;
    if (!found) {
        std::printf("  the device at address 200 was not found as expected\n");
    }
    ok = ok && device.done && found;
    sim.Stop();

    if (networkAddresses > 0) {
        // A device on the network that takes the requests and never answers.
        SimProcess mute;
        if (!mute.Start(zqsim, {"--tcp-listen", "127.0.0.1:0", "--tcp-mute"}, error)) {
            std::fprintf(stderr, "zq_search_bench: %s\n", error.c_str());
            return 1;
        }
        ChanelSetupOverlay overlay;
        overlay.CurrentChanel = ctNetwork;
        overlay.NetworkMode = 0;
        overlay.NetworkAddress = mute.LinePath();
        SetChanelSetupOverlay(overlay);
        const Outcome network = RunSearch(1, networkAddresses, 2.0 * networkAddresses + 30);
        // The serial line's allowance an address, and the network's time-out.
        const double target = networkAddresses * (40.0 / all + 1.0);
        Report("network, nobody answering", networkAddresses, network, target);
        ok = ok && network.done;
    }
    return ok ? 0 : 1;
}

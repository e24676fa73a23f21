// zq_read_bench: how long a whole read of a simulated device takes at
// 19200 baud, against the floor the line itself allows.
#include "ReadBench.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* const kUsage = R"(Usage: zq_read_bench [OPTION]...
Reads a simulated ZQ device (zqsim on a pseudo-terminal, 19200 baud) once with
the read-all task, ticked every 100 ms as the window and zqcli tick it, checks
that every record arrived, and prints the requests, the bytes each way, the
wire time, the wire floor (the wire time, the device's end gap and latency
of every request, the settle after opening), the tick floor (the same read
with every step on a tick, as the tool once did), the measured time and
measured / wire floor (target: at most 1.10), and where a request's time went.

  --quick          120 hourly, 40 daily, 12 monthly, 50 journal records
                   (about 3 s) instead of 1500, 400, 36 and 500 (about 23 s)
  --seed N         seed of the device's records (default 4242)
  --latency MS     the device's answer latency (default 5)
  --max-records N  records the device puts in one archive answer, 1..31
                   (default 31: an answer of 505 bytes fits the 512-byte
                   receive buffer)
  --rtt MS         reach the device over TCP (zqsim --tcp-listen) with every
                   answer MS late, as over a mobile network's round trip
                   (300 is typical); the wire floor then has that round trip
                   in every request and no settle, and the target is within
                   2 % of it
  --zqsim PATH     the simulator program (default: the one built with this)
  --help           this text

Exit status: 0 when the read was measured, 1 when it failed or missed
records, 2 on a usage error. A missed target is reported, not an error.
)";

bool ParseInt(const char* text, long long low, long long high, long long& value) {
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ReadBenchOptions options;
    options.zqsim = ZQSIM_PATH;
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        long long value = 0;
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--quick") {
            quick = true;
        } else if (arg == "--seed" && hasValue && ParseInt(argv[i + 1], 0, 1LL << 62, value)) {
            options.seed = static_cast<uint64_t>(value);
            ++i;
        } else if (arg == "--latency" && hasValue && ParseInt(argv[i + 1], 0, 500, value)) {
            options.latencyMs = static_cast<int>(value);
            ++i;
        } else if (arg == "--max-records" && hasValue && ParseInt(argv[i + 1], 1, 31, value)) {
            options.maxRecords = static_cast<int>(value);
            ++i;
        } else if (arg == "--rtt" && hasValue && ParseInt(argv[i + 1], 0, 10000, value)) {
            options.rttMs = static_cast<int>(value);
            ++i;
        } else if (arg == "--zqsim" && hasValue) {
            options.zqsim = argv[++i];
        } else {
            std::fprintf(stderr, "zq_read_bench: bad option '%s' (see --help)\n", arg.c_str());
            return 2;
        }
    }
    if (quick) {
        options = QuickReadBenchOptions(options);
    }
    return RunReadBench(options);
}

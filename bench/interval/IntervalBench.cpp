// zq_interval_bench: a whole read against a missing-part read of the same
// simulated device a month after the file was made, at 19200 baud.
#include "ChanelKinds.h"
#include "ReadInterval.h"
#include "Settings.h"
#include "SimProcess.h"
#include "TaskRunner.h"
#include "ZQReadAllParamsTask.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const kUsage = R"(Usage: zq_interval_bench [OPTION]...
Reads a simulated ZQ device (zqsim on a pseudo-terminal, 19200 baud, 31
records an answer) whole and keeps it as last month's document; then the
same device 30 days later (720 new hourly, 30 daily, 1 monthly records and
new journal events; the hourly ring of 2048 slots wraps) is read twice: the
whole archive, and "Недостающая часть архива" of that document. Prints the
requests, the archive chunks per ring against the fewest that reach the
document's newest record, the records and the time of each read, and checks
that the missing-part read gives the whole read's new records in front of
the document.

  --quick          120 hourly, 40 daily, 12 monthly, 50 journal records last
                   month instead of 1500, 400, 36 and 500
  --zqsim PATH     the simulator program (default: the one built with this)
  --help           this text

Exit status: 0 when both reads were measured and agree, 1 otherwise, 2 on a
usage error.
)";

constexpr const char* kThen = "2024-06-01T12:00:00";
constexpr const char* kMonthOn = "2024-07-01T12:00:00";
constexpr int kChunk = 31;
const char* const kNames[4] = {"hourly", "daily", "monthly", "journal"};

struct Counts {
    int records[4] = {1500, 400, 36, 500};
};

struct Measured {
    bool ok = false;
    std::string status;
    double seconds = 0;
    int requests = 0;
    int chunks[4] = {};
    ZQValve valve;
};

// One read of the device on `line`, ticked by TaskRunner as zqcli ticks it.
Measured Read(const std::string& line, int interval, const ZQValve* document) {
    ChanelSetupOverlay overlay;
    overlay.CurrentChanel = ctComPort;
    overlay.ComPortName = line;
    overlay.NetAddress = 1;
    SetChanelSetupOverlay(overlay);
    Measured m;
    ZQReadAllParamsTask task(true, &m.valve, document);
    ReadSettingsStruct settings = task.GetReadSettings();
    settings.ReadHourArchive = settings.ReadDayArchive = settings.ReadMonthArchive =
        settings.ReadJournal = true;
    settings.ReadInterval = interval;
    task.SetReadSettings(settings);
    task.SetExchangeSink([&m](const ExchangeRecord& r) {
        if (r.direction != ExchangeDirection::ToDevice) {
            return;
        }
        ++m.requests;
        if (r.bytes.size() > 2 && r.bytes[1] == 65) {
            ++m.chunks[r.bytes[2] & 3];
        }
    });
    TaskRunner runner(task);
    runner.SetTimeout(900);
    const auto start = std::chrono::steady_clock::now();
    m.ok = runner.Run() == 0 && task.GetState() == tsDone;
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.status = task.GetStatusText();
    ClearChanelSetupOverlay();
    for (const std::string& note : task.GetReadNotes()) {
        std::printf("         note: %s\n", note.c_str());
    }
    return m;
}

// Starts the device at `clock` (`later` days on), reads it, stops it.
bool ReadDevice(const std::string& zqsim, const Counts& c, const char* clock, int later,
                int interval, const ZQValve* document, Measured& out) {
    std::vector<std::string> args = {"--pty", "--baud",  "19200", "--seed",
                                     "4242",  "--clock", clock};
    const char* const rings[4] = {"--hour", "--day", "--month", "--journal"};
    for (int k = 0; k < 4; ++k) {
        args.push_back(rings[k]);
        args.push_back(std::to_string(c.records[k]));
    }
    if (later > 0) {
        args.push_back("--later");
        args.push_back(std::to_string(later));
    }
    SimProcess sim;
    std::string error;
    if (!sim.Start(zqsim, args, error)) {
        std::fprintf(stderr, "zq_interval_bench: %s\n", error.c_str());
        return false;
    }
    out = Read(sim.LinePath(), interval, document);
    sim.Stop();
    if (!out.ok) {
        std::fprintf(stderr, "zq_interval_bench: the read failed: %s\n", out.status.c_str());
    }
    return out.ok;
}

// Where the document's newest record lies in the whole read's list: the
// number of new records; -1 when the device no longer holds it.
template <class List>
long NewRecords(const List& whole, const List& document) {
    if (document.empty()) {
        return static_cast<long>(whole.size());
    }
    const auto at = std::find(whole.begin(), whole.end(), document.front());
    return at == whole.end() ? -1 : static_cast<long>(at - whole.begin());
}

// The missing-part list: the whole read's records down to the document's
// newest, then the document's.
template <class List>
bool Grown(const List& got, const List& whole, const List& document, long fresh) {
    return fresh >= 0 && got.size() == static_cast<size_t>(fresh) + document.size() &&
           std::equal(whole.begin(), whole.begin() + fresh, got.begin()) &&
           std::equal(document.begin(), document.end(), got.begin() + fresh);
}

void PrintRead(const char* name, const Measured& m) {
    std::printf("%-22s %8d %8d %8d %8d %8d %9.1f s\n", name, m.requests, m.chunks[0], m.chunks[1],
                m.chunks[2], m.chunks[3], m.seconds);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::string zqsim = ZQSIM_PATH;
    Counts counts;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--quick") {
            counts.records[0] = 120;
            counts.records[1] = 40;
            counts.records[2] = 12;
            counts.records[3] = 50;
        } else if (arg == "--zqsim" && i + 1 < argc) {
            zqsim = argv[++i];
        } else {
            std::fprintf(stderr, "zq_interval_bench: bad option '%s' (see --help)\n", arg.c_str());
            return 2;
        }
    }
    QTemporaryDir folder;
    if (!folder.isValid()) {
        return 1;
    }
    // A private settings store: the user's own is never touched.
    setenv("XDG_CONFIG_HOME", (folder.path() + "/config").toLocal8Bit().constData(), 1);

    std::printf(
        "last month (%s): %d hourly, %d daily, %d monthly, %d journal records; "
        "19200 baud, 31 records an answer\n",
        kThen, counts.records[0], counts.records[1], counts.records[2], counts.records[3]);
    Measured then;
    if (!ReadDevice(zqsim, counts, kThen, 0, riWhole, nullptr, then)) {
        return 1;
    }
    std::printf("         the document: a whole read in %.1f s, %d requests\n\n", then.seconds,
                then.requests);
    std::printf("a month on (%s, zqsim --later 30):\n", kMonthOn);
    Measured whole;
    Measured missing;
    if (!ReadDevice(zqsim, counts, kMonthOn, 30, riWhole, nullptr, whole) ||
        !ReadDevice(zqsim, counts, kMonthOn, 30, riMissing, &then.valve, missing)) {
        return 1;
    }

    const long fresh[4] = {NewRecords(whole.valve.HourArchive, then.valve.HourArchive),
                           NewRecords(whole.valve.DayArchive, then.valve.DayArchive),
                           NewRecords(whole.valve.MonthArchive, then.valve.MonthArchive),
                           NewRecords(whole.valve.Journal, then.valve.Journal)};
    Measured floor;
    for (int k = 0; k < 4; ++k) {
        // The chunks down to and with the document's newest record (a device
        // that dropped it must be read whole: as many as the whole read).
        floor.chunks[k] = fresh[k] < 0 ? whole.chunks[k] : static_cast<int>(fresh[k] / kChunk + 1);
    }
    std::printf("\n%-22s %8s %8s %8s %8s %8s %11s\n", "", "requests", "hourly", "daily", "monthly",
                "journal", "time");
    std::printf("%-22s %8s %35s\n", "", "", "(archive chunks)");
    PrintRead("whole read", whole);
    PrintRead("missing part", missing);
    std::printf("%-22s %8s %8d %8d %8d %8d\n", "fewest that reach it", "", floor.chunks[0],
                floor.chunks[1], floor.chunks[2], floor.chunks[3]);
    std::printf("\nmissing / whole: %.2f of the requests, %.2f of the time\n",
                static_cast<double>(missing.requests) / whole.requests,
                missing.seconds / whole.seconds);

    const ZQValve& got = missing.valve;
    const ZQValve& doc = then.valve;
    const bool grown =
        Grown(got.HourArchive, whole.valve.HourArchive, doc.HourArchive, fresh[0]) &&
        Grown(got.DayArchive, whole.valve.DayArchive, doc.DayArchive, fresh[1]) &&
        Grown(got.MonthArchive, whole.valve.MonthArchive, doc.MonthArchive, fresh[2]) &&
        Grown(got.Journal, whole.valve.Journal, doc.Journal, fresh[3]);
    std::printf("\n%-10s %10s %10s %10s %10s\n", "records", "document", "new", "device", "grown");
    const size_t docSizes[4] = {doc.HourArchive.size(), doc.DayArchive.size(),
                                doc.MonthArchive.size(), doc.Journal.size()};
    const size_t deviceSizes[4] = {whole.valve.HourArchive.size(), whole.valve.DayArchive.size(),
                                   whole.valve.MonthArchive.size(), whole.valve.Journal.size()};
    const size_t grownSizes[4] = {got.HourArchive.size(), got.DayArchive.size(),
                                  got.MonthArchive.size(), got.Journal.size()};
    for (int k = 0; k < 4; ++k) {
        std::printf("%-10s %10zu %10ld %10zu %10zu\n", kNames[k], docSizes[k], fresh[k],
                    deviceSizes[k], grownSizes[k]);
    }
    std::printf("%s\n", grown ? "the grown document is the whole read's new records in front of "
                                "the document's, every one"
                              : "the grown document is NOT what the whole read and the document "
                                "give");
    return grown ? 0 : 1;
}

#include "ReadBench.h"

#include "BenchReadTask.h"
#include "ChanelKinds.h"
#include "ReadFloor.h"
#include "Settings.h"
#include "SimProcess.h"
#include "SimRecords.h"
#include "TaskRunner.h"
#include "ZQValve.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

// The device clock at start, so that a seed always gives the same records.
constexpr const char* kDeviceClock = "2024-06-01T12:00:00";
// A read that has not ended by then is stopped (it takes about 23 s).
constexpr double kReadTimeoutSeconds = 600;

struct RingLayout {
    const char* name;  // the simulator's and the dump's name of the ring
    int records;
    int ringSize;  // slots: room for the records and more
};

std::vector<std::string> SimArguments(const ReadBenchOptions& o, const std::string& folder) {
    const RingLayout rings[] = {{"hour", o.hour, std::max(2048, o.hour + 1)},
                                {"day", o.day, std::max(512, o.day + 1)},
                                {"month", o.month, std::max(128, o.month + 1)},
                                {"journal", o.journal, std::max(1024, o.journal + 1)}};
    std::vector<std::string> args = {"--baud",        "19200",
                                     "--latency",     std::to_string(o.latencyMs),
                                     "--max-records", std::to_string(o.maxRecords),
                                     "--seed",        std::to_string(o.seed),
                                     "--clock",       kDeviceClock,
                                     "--log-file",    folder + "/sim.log",
                                     "--dump",        folder + "/dump.txt"};
    if (o.rttMs >= 0) {
        args.insert(args.begin(),
                    {"--tcp-listen", "127.0.0.1:0", "--answer-delay", std::to_string(o.rttMs)});
    } else {
        args.insert(args.begin(), "--pty");
    }
    for (const RingLayout& ring : rings) {
        args.push_back(std::string("--") + ring.name);
        args.push_back(std::to_string(ring.records));
        args.push_back(std::string("--") + ring.name + "-ring");
        args.push_back(std::to_string(ring.ringSize));
    }
    return args;
}

template <class Record>
bool SameRecords(const std::vector<Record>& read, const std::vector<RecordBytes>& held) {
    if (read.size() != held.size()) {
        return false;
    }
    for (size_t i = 0; i < read.size(); ++i) {
        if (!std::equal(held[i].begin(), held[i].end(), read[i].Bytes())) {
            return false;
        }
    }
    return true;
}

// Empty when the task got exactly the records the device holds, in the
// order the device gives them; else what differs.
std::string CompareWithDevice(const ZQValve& valve, const ReadBenchOptions& o,
                              const std::map<std::string, std::vector<RecordBytes>>& rings) {
    struct Check {
        const char* name;
        size_t read;
        int expected;
        bool same;
    };
    auto held = [&rings](const char* name) {
        const auto it = rings.find(name);
        return it != rings.end() ? it->second : std::vector<RecordBytes>();
    };
    const Check checks[] = {
        {"hourly", valve.HourArchive.size(), o.hour, SameRecords(valve.HourArchive, held("hour"))},
        {"daily", valve.DayArchive.size(), o.day, SameRecords(valve.DayArchive, held("day"))},
        {"monthly", valve.MonthArchive.size(), o.month,
         SameRecords(valve.MonthArchive, held("month"))},
        {"journal", valve.Journal.size(), o.journal, SameRecords(valve.Journal, held("journal"))},
    };
    std::string problems;
    for (const Check& c : checks) {
        if (c.read != static_cast<size_t>(c.expected)) {
            problems += std::string(problems.empty() ? "" : "; ") + c.name + ": " +
                        std::to_string(c.read) + " records read, " + std::to_string(c.expected) +
                        " on the device";
        } else if (!c.same) {
            problems += std::string(problems.empty() ? "" : "; ") + c.name +
                        ": the records differ from the device's";
        }
    }
    return problems;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "zq_read_bench: %s\n", text.c_str());
    return 1;
}

// Requests by Modbus function, "function 17: 1, ..." in order of function.
std::string RequestsByFunction(const std::vector<Exchange>& exchanges) {
    std::map<int, int> counts;
    for (const Exchange& e : exchanges) {
        counts[e.request.size() > 1 ? e.request[1] : -1]++;
    }
    std::string text;
    for (const auto& [function, count] : counts) {
        text += (text.empty() ? "" : ", ") + std::string("function ") + std::to_string(function) +
                ": " + std::to_string(count);
    }
    return text;
}

// "5 ms", "300 ms": a whole number of ms.
std::string Ms(double ms) {
    return std::to_string(static_cast<long long>(ms)) + " ms";
}

// The tool's own time in each request: from the step to the first byte
// going out, and from the answer read to the next step. Its average and the
// request where it was longest.
struct ToolTime {
    double sumMs = 0;
    double maxMs = 0;
    size_t worst = 0;  // 1-based; 0 = none measured
    int count = 0;
};

ToolTime MeasureToolTime(const std::vector<RequestTiming>& requests) {
    ToolTime t;
    for (size_t i = 0; i < requests.size(); ++i) {
        const RequestTiming& r = requests[i];
        if (!r.started || !r.answered || !r.nextStep) {
            continue;
        }
        const double ms = MsBetween(r.sent, *r.started) + MsBetween(*r.answered, *r.nextStep);
        t.sumMs += ms;
        ++t.count;
        if (t.worst == 0 || ms > t.maxMs) {
            t.maxMs = ms;
            t.worst = i + 1;
        }
    }
    return t;
}

void PrintTickFloor(const TickFloor& ticks, const TickDiscipline& line, size_t requests) {
    std::printf("\nThe tick floor: the same read when every step waited for a tick of %.0f ms.\n",
                line.tickMs);
    std::printf(
        "  %3d tick(s)  steps that send nothing (step 0, skipped archives): one tick each\n",
        ticks.nothingTicks);
    std::printf("  %3d tick(s)  opening the port: the worker's %.0f ms settle time\n",
                ticks.openTicks, line.openSettleMs);
    std::printf("  %3d ticks    %zu requests, each ceil(cost / %.0f ms) ticks, where cost =\n",
                ticks.requestTicks, requests, line.tickMs);
    std::printf(
        "               wire time of request and answer + %.0f ms per byte sent + %.0f ms latency"
        "\n               + %.0f ms silence ending the answer + %.0f ms pause before the "
        "completion;\n               the costs sum to %.1f ms, the ticks to %.0f ms\n",
        line.msPerByteSent, line.latencyMs, line.silenceMs, line.pauseMs, ticks.requestCostMs,
        ticks.requestTicks * line.tickMs);
}

void PrintFigures(const ReadTrace& trace, const std::vector<Exchange>& exchanges, bool network,
                  const WireDiscipline& wire, const TickDiscipline& tickLine,
                  const TickFloor& ticks) {
    size_t sent = 0;
    size_t received = 0;
    for (const Exchange& e : exchanges) {
        sent += e.request.size();
        received += e.answer.size();
    }
    const double wireMs = WireMs(sent + received, wire.baud);
    const double floorMs = WireFloorMs(exchanges, wire);
    const double tickFloorMs = ticks.TotalTicks() * tickLine.tickMs;
    const double measuredMs = MsBetween(*trace.firstTick, *trace.done);
    const double ratio = measuredMs / floorMs;

    std::printf("requests sent      %8zu      (%s)\n", exchanges.size(),
                RequestsByFunction(exchanges).c_str());
    std::printf("bytes sent         %8zu\n", sent);
    std::printf("bytes received     %8zu\n", received);
    std::printf("wire time          %10.1f ms (10 bits a byte at %d baud, both ways)\n", wireMs,
                wire.baud);
    std::string parts = std::to_string(exchanges.size()) + " x (" + Ms(wire.endGapMs) +
                        " end gap + " + Ms(wire.latencyMs) + " latency";
    parts += network ? " + " + Ms(wire.rttMs) + " round trip)" : ")";
    if (wire.openSettleMs > 0) {
        parts += " + " + Ms(wire.openSettleMs) + " settle";
    }
    std::printf("wire floor         %10.1f ms (the wire time + %s)\n", floorMs, parts.c_str());
    std::printf(
        "tick floor         %10.1f ms (%d ticks of %.0f ms: every step on a tick, as before)\n",
        tickFloorMs, ticks.TotalTicks(), tickLine.tickMs);
    std::printf("measured           %10.1f ms (the task's first tick to tsDone)\n", measuredMs);
    std::printf("measured / floor   %10.3f    (wire floor; target <= %.2f: %s)\n", ratio,
                wire.target, ratio <= wire.target ? "met" : "NOT met");
    std::printf("measured / ticks   %10.3f    (tick floor)\n", measuredMs / tickFloorMs);

    PrintTickFloor(ticks, tickLine, exchanges.size());

    int onTick = 0;
    for (const bool t : trace.actionOnTick) {
        onTick += t ? 1 : 0;
    }
    std::printf("\nWhere the measured time went:\n");
    std::printf(
        "  %d ticks of the timer during the read; %d of the %zu steps ran on a tick, the\n"
        "  rest as soon as the step before had its outcome\n",
        trace.ticks, onTick, trace.actions.size());
    std::printf("  the close -> tsDone: %.1f ms\n",
                MsBetween(trace.actionTimes.back(), *trace.done));
    const RequestPhases phases = SumRequestPhases(trace.requests);
    if (phases.requests > 0) {
        const double n = phases.requests;
        double modelled = 0;
        for (const Exchange& e : exchanges) {
            modelled += RequestFloorMs(e, wire);
        }
        modelled /= static_cast<double>(exchanges.size());
        std::printf("\nA request on average (%d requests), as the task's thread saw it:\n",
                    phases.requests);
        std::printf("  the step runs -> the worker starts sending       %7.2f ms  (%s)\n",
                    phases.handOverMs / n,
                    network ? "the purge of what came after the last answer"
                            : "the line's silence of 3.5 characters, 1.82 ms");
        std::printf(
            "  sending -> the answer is read                    %7.2f ms  (its wire floor "
            "%.2f ms)\n",
            phases.lineMs / n, modelled);
        std::printf(
            "  the answer read -> it reaches the task           %7.2f ms  (the completion "
            "notice)\n",
            phases.pauseMs / n);
        std::printf(
            "  it reaches the task -> the next step runs        %7.2f ms  (queued behind the "
            "answer's event)\n",
            phases.nextStepMs / n);
    }
    const ToolTime tool = MeasureToolTime(trace.requests);
    if (tool.count > 0) {
        std::printf(
            "  the tool's own time in a request (before sending, after the answer): %.2f ms on\n"
            "  average, %.2f ms at most (request %zu)\n",
            tool.sumMs / tool.count, tool.maxMs, tool.worst);
    }
    std::printf(
        "\nBytes sent are counted from the frames the device logged (zqsim --log-file);\n"
        "bytes received are the answers the task was handed, equal to those the device\n"
        "logged. The device hears a request's end after 2 ms of silence, within the\n"
        "request's own wire time for any request of 4 bytes or more, so the floor's end gap\n"
        "is mostly not spent and a read can come in under its floor.\n");
}

}  // namespace

ReadBenchOptions QuickReadBenchOptions(ReadBenchOptions options) {
    options.hour = 120;
    options.day = 40;
    options.month = 12;
    options.journal = 50;
    return options;
}

int RunReadBench(const ReadBenchOptions& o) {
    QTemporaryDir folder;
    if (!folder.isValid()) {
        return Fail("cannot make a temporary folder");
    }
    const std::string path = folder.path().toStdString();
    // The task loads its settings from the store: a private one, so the
    // user's own is never touched.
    const std::string configHome = path + "/config";
    setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);

    const std::vector<std::string> args = SimArguments(o, path);
    SimProcess sim;
    std::string error;
    if (!sim.Start(o.zqsim, args, error)) {
        return Fail(error);
    }
    std::printf("ZQ read: %d hourly, %d daily, %d monthly, %d journal records at 19200 baud%s\n",
                o.hour, o.day, o.month, o.journal,
                o.rttMs >= 0
                    ? (", over TCP with a round trip of " + std::to_string(o.rttMs) + " ms").c_str()
                    : "");
    // The log and the dump go to the temporary folder; not shown.
    std::printf("device:  zqsim");
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--log-file" || args[i] == "--dump") {
            ++i;
        } else {
            std::printf(" %s", args[i].c_str());
        }
    }
    std::printf("\n         on %s\n", sim.LinePath().c_str());
    std::fflush(stdout);

    ChanelSetupOverlay overlay;
    if (o.rttMs >= 0) {
        overlay.CurrentChanel = ctNetwork;
        overlay.NetworkMode = 0;
        overlay.NetworkAddress = sim.LinePath();
    } else {
        overlay.CurrentChanel = ctComPort;
        overlay.ComPortName = sim.LinePath();
    }
    overlay.NetAddress = 1;
    SetChanelSetupOverlay(overlay);

    ZQValve valve;
    BenchReadTask task(&valve);
    ReadSettingsStruct readSettings = task.GetReadSettings();
    readSettings.ReadHourArchive = true;
    readSettings.ReadDayArchive = true;
    readSettings.ReadMonthArchive = true;
    readSettings.ReadJournal = true;
    task.SetReadSettings(readSettings);

    TaskRunner runner(task);
    runner.SetTimeout(kReadTimeoutSeconds);
    const int status = runner.Run();
    ClearChanelSetupOverlay();
    sim.Stop();

    const ReadTrace& trace = task.Trace();
    if (status != 0 || task.GetState() != tsDone || !trace.done || !trace.firstTick) {
        return Fail("the read failed: " + task.GetStatusText());
    }
    std::printf("read:    %s\n", task.GetStatusText().c_str());
    if (trace.lostPackets > 0 || trace.lateAnswers > 0 || trace.unknownAction) {
        return Fail("the read was not clean (" + std::to_string(trace.lostPackets) +
                    " lost packets, " + std::to_string(trace.lateAnswers) +
                    " late answers): the floor does not apply");
    }

    std::string text;
    std::map<std::string, std::vector<RecordBytes>> rings;
    if (!ReadWholeFile(path + "/dump.txt", text) || !ParseSimDump(text, rings, error)) {
        return Fail("the device's dump: " + (error.empty() ? "cannot read it" : error));
    }
    const std::string problems = CompareWithDevice(valve, o, rings);
    if (!problems.empty()) {
        return Fail(problems);
    }
    std::printf("         every record as the device holds it, in its order\n\n");

    std::vector<Exchange> exchanges;
    if (!ReadWholeFile(path + "/sim.log", text) || !ParseSimLog(text, exchanges, error)) {
        return Fail("the device's log: " + (error.empty() ? "cannot read it" : error));
    }
    size_t loggedAnswers = 0;
    for (const Exchange& e : exchanges) {
        loggedAnswers += e.answer.size();
    }
    if (loggedAnswers != trace.bytesReceived) {
        return Fail("the device logged " + std::to_string(loggedAnswers) +
                    " answer bytes, the task was handed " + std::to_string(trace.bytesReceived));
    }

    TickDiscipline tickLine;
    tickLine.latencyMs = o.latencyMs;
    WireDiscipline wire;
    wire.latencyMs = o.latencyMs;
    if (o.rttMs >= 0) {
        // Over TCP the round trip comes on top of the device's latency; the
        // connection on loopback is made at once, with nothing to settle.
        tickLine = NetworkTicks(o.latencyMs, o.rttMs);
        wire = NetworkWire(o.latencyMs, o.rttMs);
    }
    TickFloor ticks;
    if (!ComputeTickFloor(trace.actions, exchanges, tickLine, ticks, error)) {
        return Fail(error);
    }
    if (trace.actions.empty() || trace.actions.back() != TickAction::Close ||
        trace.requests.empty() || trace.actionTimes.size() != trace.actions.size()) {
        return Fail("the read did not go from requests to the close");
    }
    PrintFigures(trace, exchanges, o.rttMs >= 0, wire, tickLine, ticks);
    return 0;
}

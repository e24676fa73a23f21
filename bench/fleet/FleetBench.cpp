// zq_fleet_bench: a daily round of many meters, each behind a TCP endpoint
// of its own (zqsim --fleet) whose answers come --delay ms late, as over a
// mobile network. The meters are read once (their history), then a day on
// the round that counts: at each --parallel, with every meter alive, and
// with some refusing or mute. The round is zqcli fleet round, a process of
// its own, whose wall time, CPU and peak memory are measured.
#include "FleetDatabase.h"
#include "FleetQuery.h"
#include "MeterRegister.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    int meters = 200;
    std::vector<int> parallel = {32, 64};
    int delayMs = 300;
    int dead = 10;  // half refusing, half mute
    // Several collectors sharing one round (zqcli fleet round --skip-fresh),
    // the first of them killed after killAfterS seconds (0: none), on the
    // database --db names (default: an SQLite file of the run's own).
    int collectors = 1;
    double killAfterS = 0;
    std::string db;
};

struct RoundFigures {
    bool ran = false;
    int exitCode = -1;
    double wallS = 0;
    double cpuS = 0;
    long maxRssKb = 0;
    int read = 0;
    int failed = 0;
    int skipped = 0;
    int requestsOfOne = 0;  // the median of the meters read
};

// The devices of the fleet: as zqsim --fleet prints them.
struct Endpoint {
    std::string address;
    std::string state;
};

std::vector<std::string> FleetArgs(const Options& o, bool dayOn, int refuse, int mute) {
    std::vector<std::string> args = {"--fleet",
                                     std::to_string(o.meters),
                                     "--tcp-listen",
                                     "127.0.0.1:0",
                                     "--baud",
                                     "0",
                                     "--latency",
                                     "5",
                                     "--seed",
                                     "500",
                                     "--clock",
                                     "2026-03-10T14:30:00",
                                     "--frozen-clock",
                                     "--hour",
                                     "48",
                                     "--day",
                                     "20",
                                     "--month",
                                     "6",
                                     "--journal",
                                     "30"};
    if (dayOn) {
        args.insert(args.end(), {"--later", "1", "--answer-delay", std::to_string(o.delayMs)});
    }
    if (refuse > 0) {
        args.insert(args.end(), {"--fleet-refuse", std::to_string(refuse)});
    }
    if (mute > 0) {
        args.insert(args.end(), {"--fleet-mute", std::to_string(mute)});
    }
    return args;
}

bool StartFleet(SimProcess& sim, const Options& o, bool dayOn, int refuse, int mute,
                std::vector<Endpoint>& endpoints) {
    std::string error;
    std::vector<std::string> lines;
    if (!sim.Start(ZQSIM_PATH, FleetArgs(o, dayOn, refuse, mute), error) ||
        !sim.Lines(static_cast<size_t>(o.meters), lines, 60000, error)) {
        std::fprintf(stderr, "zq_fleet_bench: %s\n", error.c_str());
        return false;
    }
    endpoints.clear();
    for (const std::string& line : lines) {
        std::istringstream in(line);
        Endpoint e;
        std::string serial;
        in >> e.address >> serial >> e.state;
        endpoints.push_back(e);
    }
    return true;
}

// The register's meters reach the endpoints given, in order.
void PointMeters(FleetDatabase& db, const std::vector<Endpoint>& endpoints) {
    MeterRegister meters(db);
    FleetDatabase::Transaction t(db);
    for (size_t i = 0; i < endpoints.size(); ++i) {
        const std::string name = "meter-" + std::to_string(i + 1);
        Meter meter;
        meter.name = name;
        meter.connection.CurrentChanel = 2;
        meter.connection.NetworkMode = 0;
        meter.connection.NetworkAddress = endpoints[i].address;
        meter.connection.NetAddress = 1;
        if (std::optional<Meter> known = meters.Find(name)) {
            meters.Update(name, meter);
        } else {
            meters.Add(meter);
        }
    }
    t.Commit();
}

// zqcli fleet round as a process of its own, its CSV rows going to a file.
struct Collector {
    pid_t pid = -1;
    std::string csvPath;
    std::chrono::steady_clock::time_point start;
};

// `collector` non-empty: a collector of a shared round, by that name.
Collector StartRound(const std::string& db, int parallel, const std::string& csvPath,
                     const std::string& collector = {}) {
    Collector c;
    c.csvPath = csvPath;
    std::vector<std::string> args = {
        "fleet", "round", "--db", db, "--parallel", std::to_string(parallel), "--csv"};
    if (!collector.empty()) {
        args.insert(args.end(), {"--collector", collector, "--skip-fresh", "600"});
    }
    std::vector<char*> argv = {const_cast<char*>(ZQCLI_PATH)};
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    c.start = std::chrono::steady_clock::now();
    c.pid = fork();
    if (c.pid == 0) {
        const int out = ::open(csvPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        execv(ZQCLI_PATH, argv.data());
        _exit(127);
    }
    return c;
}

// Waits for the round to end; its figures, its CSV rows counted.
RoundFigures WaitRound(const Collector& c) {
    RoundFigures f;
    const pid_t pid = c.pid;
    const std::string& csvPath = c.csvPath;
    const auto start = c.start;
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) {
        return f;
    }
    f.ran = true;
    f.wallS = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    f.cpuS = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
             usage.ru_stime.tv_usec / 1e6;
    f.maxRssKb = usage.ru_maxrss;
    std::ifstream csv(csvPath);
    std::string line;
    std::getline(csv, line);  // the header
    std::vector<int> requests;
    while (std::getline(csv, line)) {
        std::vector<std::string> cells;
        std::stringstream in(line);
        for (std::string cell; std::getline(in, cell, ',');) {
            cells.push_back(cell);
        }
        if (cells.size() < 7) {
            continue;
        }
        if (cells[1] == "read") {
            ++f.read;
            requests.push_back(std::atoi(cells[6].c_str()));
        } else if (cells[1] == "skipped") {
            ++f.skipped;
        } else {
            ++f.failed;
        }
    }
    if (!requests.empty()) {
        std::sort(requests.begin(), requests.end());
        f.requestsOfOne = requests[requests.size() / 2];
    }
    return f;
}

RoundFigures Round(const std::string& db, int parallel, const std::string& csvPath) {
    return WaitRound(StartRound(db, parallel, csvPath));
}

// The meters' history: a first round of every meter, at once. False when
// one was not read.
bool ReadHistory(const Options& o, const std::string& db, const std::string& csvPath) {
    SimProcess sim;
    std::vector<Endpoint> endpoints;
    if (!StartFleet(sim, o, false, 0, 0, endpoints)) {
        return false;
    }
    {
        auto database = FleetDatabase::Open(db);
        PointMeters(*database, endpoints);
    }
    const RoundFigures first = Round(db, 64, csvPath);
    std::printf("history:  a first round read %d of %d meters in %.1f s\n", first.read, o.meters,
                first.wallS);
    return first.read == o.meters;
}

// Runs zqcli with `args` (standard output and error to /dev/null); its exit
// code and wall time.
int Zqcli(const std::vector<std::string>& args, double& seconds) {
    std::vector<char*> argv = {const_cast<char*>(ZQCLI_PATH)};
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(ZQCLI_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A meter's first round against a plain whole read of the same device with
// full rings, at 19200 baud on a serial line; and the database's size per
// meter-year of hourly records.
int OneMeter(const std::string& folder) {
    SimProcess sim;
    std::string error;
    const std::string link = folder + "/config/Halbrec/ZURavorav/ports/COM7";
    if (!sim.Start(ZQSIM_PATH,
                   {"--pty",
                    "--link",
                    link,
                    "--baud",
                    "19200",
                    "--clock",
                    "2026-03-10T14:30:00",
                    "--frozen-clock",
                    "--hour",
                    "2047",
                    "--day",
                    "511",
                    "--month",
                    "127",
                    "--journal",
                    "1023",
                    "--hour-ring",
                    "2048",
                    "--day-ring",
                    "512",
                    "--month-ring",
                    "128",
                    "--journal-ring",
                    "1024"},
                   error)) {
        std::fprintf(stderr, "zq_fleet_bench: %s\n", error.c_str());
        return 1;
    }
    const std::string db = folder + "/one.sqlite";
    double readS = 0, addS = 0, roundS = 0;
    const int read = Zqcli({"read", "--port", "COM7", "--out", folder + "/one.arch"}, readS);
    Zqcli({"fleet", "add", "one", "--port", "COM7", "--db", db}, addS);
    const int round = Zqcli({"fleet", "round", "--db", db}, roundS);
    const double longer = roundS / readS - 1;
    std::printf(
        "one meter, full rings (2047 hourly, 511 daily, 127 monthly, 1023 journal) at "
        "19200 baud: a plain read %.1f s, its first round %.1f s: %+.1f %%; target 2 %%: "
        "%s\n",
        readS, roundS, 100 * longer, read == 0 && round == 0 && longer <= 0.02 ? "met" : "NOT met");
    sim.Stop();

    // A meter-year of hourly records (and one daily, monthly and journal
    // record): the file of such a read imported into an empty database.
    const std::string year = folder + "/year.sqlite";
    SimProcess yearSim;
    if (!yearSim.Start(ZQSIM_PATH,
                       {"--pty",
                        "--link",
                        link,
                        "--baud",
                        "0",
                        "--latency",
                        "0",
                        "--clock",
                        "2026-03-10T14:30:00",
                        "--frozen-clock",
                        "--hour",
                        "8760",
                        "--hour-ring",
                        "8761",
                        "--day",
                        "1",
                        "--month",
                        "1",
                        "--journal",
                        "1"},
                       error)) {
        std::fprintf(stderr, "zq_fleet_bench: %s\n", error.c_str());
        return 1;
    }
    double s = 0;
    Zqcli({"read", "--port", "COM7", "--out", folder + "/year.arch"}, s);
    Zqcli({"fleet", "add", "year", "--port", "COM7", "--db", year}, s);
    const auto empty = std::filesystem::file_size(year);
    Zqcli({"fleet", "import", "year", folder + "/year.arch", "--db", year}, s);
    const double mb = (std::filesystem::file_size(year) - empty) / 1e6;
    std::printf(
        "a meter-year of hourly records (8760, and one daily, monthly and journal record) in "
        "the SQLite file: %.2f MB; target 1.5 MB: %s\n",
        mb, mb <= 1.5 ? "met" : "NOT met");
    return read == 0 && round == 0 && longer <= 0.02 && mb <= 1.5 ? 0 : 1;
}

void Copy(const std::string& from, const std::string& to) {
    namespace fs = std::filesystem;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

// Several collectors share one round of the fleet a day on (--skip-fresh),
// the first one killed mid-way when asked, then the next round reads what
// is left: wall time, each collector's CPU and memory, and from the
// database whether every live meter was read exactly once.
int SharedRound(const Options& o, const std::string& db, const std::string& folder) {
    const int parallel = o.parallel.empty() ? 64 : o.parallel.front();
    if (!ReadHistory(o, db, folder + "/first.csv")) {
        return 1;
    }
    std::vector<Endpoint> endpoints;
    const int refuse = o.dead / 2;
    const int mute = o.dead - refuse;
    SimProcess sim;
    if (!StartFleet(sim, o, true, refuse, mute, endpoints)) {
        return 1;
    }
    int64_t before = 0;
    {
        auto database = FleetDatabase::Open(db);
        PointMeters(*database, endpoints);
        before = FleetScalar(*database, QStringLiteral("SELECT MAX(id) FROM reads")).toLongLong();
        // The history was read yesterday, not a moment ago.
        FleetScalar(*database, QStringLiteral("UPDATE reads SET ended = ?"),
                    {SqlTime(SqlNow() - 1.0)});
    }
    std::vector<Collector> collectors;
    for (int k = 0; k < o.collectors; ++k) {
        const std::string name = "collector-" + std::to_string(k + 1);
        collectors.push_back(StartRound(db, parallel, folder + "/" + name + ".csv", name));
    }
    if (o.killAfterS > 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(o.killAfterS));
        ::kill(collectors.front().pid, SIGKILL);
    }
    double wall = 0;
    int failures = 0;
    for (int k = 0; k < o.collectors; ++k) {
        const RoundFigures f = WaitRound(collectors[k]);
        const bool killed = k == 0 && o.killAfterS > 0;
        const double cores = f.wallS > 0 ? f.cpuS / f.wallS : 0;
        std::printf(
            "collector-%d%s: %.1f s, %d read, %d failed, %d skipped; CPU %.1f s = %.2f core "
            "(target 1), peak memory %.0f MB (target 300)%s\n",
            k + 1, killed ? " (killed)" : "", f.wallS, f.read, f.failed, f.skipped, f.cpuS, cores,
            f.maxRssKb / 1024.0,
            killed ? "" : (cores <= 1.0 && f.maxRssKb <= 300 * 1024 ? ": met" : ": NOT met"));
        if (!killed) {
            wall = std::max(wall, f.wallS);
            failures += cores <= 1.0 && f.maxRssKb <= 300 * 1024 ? 0 : 1;
        }
    }
    std::printf(
        "the shared round of %d meters (%d dead: %d refusing, %d mute) by %d collectors "
        "at --parallel %d, %.0f ms answers: %.1f s; target 600 s: %s\n",
        o.meters, o.dead, refuse, mute, o.collectors, parallel, static_cast<double>(o.delayMs),
        wall, wall <= 600 ? "met" : "NOT met");
    failures += wall <= 600 ? 0 : 1;
    if (o.killAfterS > 0) {
        const RoundFigures next =
            WaitRound(StartRound(db, parallel, folder + "/next.csv", "collector-2"));
        std::printf("the next round: %.1f s, %d read, %d failed, %d skipped as read lately\n",
                    next.wallS, next.read, next.failed, next.skipped);
    }

    // Every live meter read once since the day-on round began, by one of the
    // collectors; the dead ones never; every live history alike.
    auto database = FleetDatabase::Open(db);
    FleetQuery reads(*database,
                     QStringLiteral("SELECT m.name, COUNT(r.id), MIN(h.held) FROM meters m "
                                    "LEFT JOIN reads r ON r.meter_id = m.id AND r.id > ? AND "
                                    "r.success "
                                    "LEFT JOIN (SELECT meter_id, COUNT(*) AS held FROM records "
                                    "WHERE kind = 0 GROUP BY meter_id) h ON h.meter_id = m.id "
                                    "GROUP BY m.name"));
    reads.Run({SqlInt(before)});
    std::map<std::string, std::pair<int, qlonglong>> byName;
    while (reads.Next()) {
        byName[reads.Value(0).toString().toStdString()] = {reads.Value(1).toInt(),
                                                           reads.Value(2).toLongLong()};
    }
    int wrong = 0;
    std::set<qlonglong> held;
    for (size_t i = 0; i < endpoints.size(); ++i) {
        const auto& [times, records] = byName["meter-" + std::to_string(i + 1)];
        const bool live = endpoints[i].state == "live";
        wrong += times == (live ? 1 : 0) ? 0 : 1;
        if (live) {
            held.insert(records);
        }
    }
    std::printf(
        "every live meter read exactly once and no dead one (%d wrong), every live "
        "history of the same %lld hourly records: %s\n",
        wrong, held.size() == 1 ? *held.begin() : -1LL,
        wrong == 0 && held.size() == 1 ? "met" : "NOT met");
    failures += wrong == 0 && held.size() == 1 ? 0 : 1;
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--meters") == 0) {
            o.meters = std::max(2, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--parallel") == 0) {
            o.parallel.clear();
            std::stringstream in(argv[i + 1]);
            for (std::string p; std::getline(in, p, ',');) {
                o.parallel.push_back(std::max(1, std::atoi(p.c_str())));
            }
        } else if (std::strcmp(argv[i], "--delay") == 0) {
            o.delayMs = std::max(0, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--dead") == 0) {
            o.dead = std::max(0, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--collectors") == 0) {
            o.collectors = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--kill-after") == 0) {
            o.killAfterS = std::max(0.0, std::atof(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--db") == 0) {
            o.db = argv[i + 1];
        }
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid()) {
        return 2;
    }
    setenv("XDG_CONFIG_HOME", folder.filePath("config").toLocal8Bit().constData(), 1);
    setenv("XDG_DATA_HOME", folder.filePath("data").toLocal8Bit().constData(), 1);
    const std::string db = o.db.empty() ? folder.filePath("fleet.sqlite").toStdString() : o.db;
    const std::string baseline = folder.filePath("baseline.sqlite").toStdString();
    const std::string csv = folder.filePath("round.csv").toStdString();

    std::printf(
        "zq_fleet_bench: %d meters, each on a TCP endpoint of its own (zqsim --fleet), "
        "answers %d ms late\n",
        o.meters, o.delayMs);
    if (o.collectors > 1) {
        return SharedRound(o, db, folder.path().toStdString());
    }
    if (!ReadHistory(o, db, csv)) {
        return 1;
    }
    std::vector<Endpoint> endpoints;
    Copy(db, baseline);

    int failures = 0;
    std::vector<double> liveWall(o.parallel.size());
    for (int deadRun = 0; deadRun < 2; ++deadRun) {
        const int refuse = deadRun ? o.dead / 2 : 0;
        const int mute = deadRun ? o.dead - o.dead / 2 : 0;
        SimProcess sim;
        if (!StartFleet(sim, o, true, refuse, mute, endpoints)) {
            return 1;
        }
        for (size_t i = 0; i < o.parallel.size(); ++i) {
            const int p = o.parallel[i];
            Copy(baseline, db);
            {
                auto database = FleetDatabase::Open(db);
                PointMeters(*database, endpoints);
            }
            const RoundFigures f = Round(db, p, csv);
            if (!f.ran) {
                return 1;
            }
            // One meter's floor: each request waits for its answer's delay
            // and the device's latency (the devices are not paced: no wire
            // time), and the next goes out at once.
            const double perRequestS = (o.delayMs + 5) / 1000.0;
            const double floorS = f.requestsOfOne * perRequestS;
            const double waves = std::ceil(static_cast<double>(o.meters) / p);
            const double target = 1.2 * waves * floorS;
            const double cores = f.cpuS / f.wallS;
            std::printf(
                "%s, --parallel %d: %.1f s (%d read, %d not), one meter %d requests, "
                "floor %.2f s, %g waves: target %.1f s: %s; CPU %.1f s = %.2f core, "
                "peak memory %.0f MB\n",
                deadRun ? "with dead" : "all alive", p, f.wallS, f.read, f.failed, f.requestsOfOne,
                floorS, waves, target, f.wallS <= target ? "met" : "NOT met", f.cpuS, cores,
                f.maxRssKb / 1024.0);
            if (deadRun) {
                const double longer = f.wallS / liveWall[i] - 1;
                std::printf(
                    "    %d dead (%d refusing, %d mute): %.0f %% longer than all alive; "
                    "target 10 %%: %s\n",
                    o.dead, refuse, mute, 100 * longer, longer <= 0.10 ? "met" : "NOT met");
                failures += longer <= 0.10 ? 0 : 1;
            } else {
                liveWall[i] = f.wallS;
            }
            failures += (f.wallS <= target && cores <= 1.0 && f.maxRssKb <= 200 * 1024) ? 0 : 1;
        }
    }
    failures += OneMeter(folder.path().toStdString());
    return failures == 0 ? 0 : 1;
}

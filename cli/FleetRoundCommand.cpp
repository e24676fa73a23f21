#include "FleetRoundCommand.h"

#include "FleetDatabase.h"
#include "FleetRound.h"
#include "MeterRegister.h"
#include "StopSignals.h"
#include "TableOutput.h"
#include "TextFormat.h"

#include <QTimer>

#include <chrono>
#include <climits>
#include <cstdio>
#include <iostream>

namespace {

const char* KindText(MeterOutcome::Kind kind) {
    switch (kind) {
        case MeterOutcome::Kind::Read:
            return "read";
        case MeterOutcome::Kind::Failed:
            return "failed";
        case MeterOutcome::Kind::Skipped:
            return "skipped";
        default:
            return "stopped";
    }
}

std::string AddedText(const std::array<size_t, 4>& added) {
    return FormatText("new %zu hourly, %zu daily, %zu monthly, %zu journal", added[0], added[1],
                      added[2], added[3]);
}

}  // namespace

int RunFleetRound(const FleetRoundArguments& a) {
    std::unique_ptr<FleetDatabase> database;
    std::vector<Meter> meters;
    try {
        database = FleetDatabase::Open(a.database);
        MeterRegister register_(*database);
        if (a.names.empty()) {
            meters = MetersOfCollector(register_.List(a.group),
                                       a.collector.empty() ? DefaultCollector() : a.collector);
        } else {
            for (const std::string& name : a.names) {
                std::optional<Meter> meter = register_.Find(name);
                if (!meter) {
                    std::fprintf(stderr, "zqcli: fleet round: no meter '%s' in the register\n",
                                 name.c_str());
                    return 2;
                }
                if (!a.group || meter->group == *a.group) {
                    meters.push_back(*meter);
                }
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zqcli: fleet round: %s\n", e.what());
        return 1;
    }

    RoundOptions options;
    options.parallel = a.parallel;
    options.syncClockS = a.syncClockS;
    options.collector = a.collector;
    if (a.skipFreshMinutes) {
        options.skipFreshS = *a.skipFreshMinutes * 60;
    }
    FleetRound round(*database, meters, options);
    if (a.verbose) {
        round.SetLog([](const std::string& line) {
            std::fprintf(stderr, "%s\n", line.c_str());
            std::fflush(stderr);
        });
    }
    if (a.csv) {
        PrintCsvRow(std::cout, {"name", "outcome", "hourly", "daily", "monthly", "journal",
                                "requests", "seconds", "drift_s", "clock_set", "text"});
        std::cout.flush();
    }
    size_t counts[4] = {};  // by MeterOutcome::Kind
    std::array<size_t, 4> added{};
    std::vector<MeterOutcome> notRead;
    const auto started = std::chrono::steady_clock::now();
    StopSignals stopSignals([&round] {
        std::fprintf(stderr, "Опрос остановлен\n");
        round.Stop();
    });
    QTimer deadline;
    if (a.timeoutSeconds) {
        deadline.setSingleShot(true);
        deadline.setInterval(static_cast<int>(std::min(*a.timeoutSeconds * 1000, 2e9)));
        QObject::connect(&deadline, &QTimer::timeout, [&round] {
            std::fprintf(stderr, "Время ожидания истекло\n");
            round.Stop();
        });
        deadline.start();
    }
    try {
        round.Run([&](const MeterOutcome& o) {
            ++counts[static_cast<int>(o.kind)];
            for (size_t i = 0; i < added.size(); ++i) {
                added[i] += o.added[i];
            }
            if (o.kind == MeterOutcome::Kind::Failed || o.kind == MeterOutcome::Kind::Stopped) {
                notRead.push_back(o);
            }
            if (a.csv) {
                PrintCsvRow(std::cout, {o.name, KindText(o.kind), std::to_string(o.added[0]),
                                        std::to_string(o.added[1]), std::to_string(o.added[2]),
                                        std::to_string(o.added[3]), std::to_string(o.requests),
                                        FormatText("%.1f", o.seconds),
                                        o.driftS ? FormatText("%.0f", *o.driftS) : std::string(),
                                        o.clockSet ? "1" : "0", o.text});
            } else {
                std::cout << o.name << "  " << KindText(o.kind);
                if (o.kind == MeterOutcome::Kind::Read) {
                    std::cout << "  " << AddedText(o.added);
                }
                if (o.kind != MeterOutcome::Kind::Skipped) {
                    std::cout << "  " << o.requests << " requests  "
                              << FormatText("%.1f s", o.seconds);
                }
                if (o.driftS) {
                    std::cout << FormatText("  clock %+.0f s", *o.driftS)
                              << (o.clockSet ? " (set)" : "");
                }
                std::cout << "  " << o.text << "\n";
            }
            std::cout.flush();
        });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zqcli: fleet round: %s\n", e.what());
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!a.csv) {
        std::cout << FormatText(
                         "round: %zu meters, %zu read, %zu failed, %zu skipped, %zu "
                         "stopped; ",
                         meters.size(), counts[0], counts[1], counts[2], counts[3])
                  << AddedText(added) << FormatText("; %.1f s\n", seconds);
    }
    for (const MeterOutcome& o : notRead) {
        std::fprintf(stderr, "not read: %s: %s\n", o.name.c_str(), o.text.c_str());
    }
    return notRead.empty() ? 0 : 1;
}

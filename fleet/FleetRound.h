#pragma once

#include "ExchangeRecord.h"
#include "FleetDatabase.h"
#include "Meter.h"
#include "TQueueIDChanel.h"
#include "TaskClock.h"

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// How a round goes.
struct RoundOptions {
    // Endpoints read at the same time (1..256).
    int parallel = 8;
    // Set a meter's clock when its drift from the computer's passes this
    // many seconds (never within two minutes of an hour's end or start).
    std::optional<int> syncClockS;
    // Kept in the read log and in the claims: which computer read (empty:
    // DefaultCollector()).
    std::string collector;
    // Several collectors sharing a round: a meter whose last read (by any
    // of them) succeeded less than this many seconds ago is not read again
    // but told as skipped, and a meter another collector held is tried
    // once more when everything else is done.
    std::optional<int> skipFreshS;
    // The computer's local time (tests give their own).
    TaskClock clock = LocalNow;
};

// What one meter's read in a round came to.
struct MeterOutcome {
    enum class Kind {
        Read,     // read and stored (its new records, maybe none)
        Failed,   // not read: the reason in `text`; nothing stored
        Skipped,  // another round holds it: `text` names that round
        Stopped,  // the round was stopped before the meter's read ended
    };
    std::string name;
    Kind kind = Kind::Failed;
    std::string text;
    std::array<size_t, 4> added{};  // records stored, per list (akHour .. akJournal)
    int requests = 0;
    double seconds = 0;
    std::optional<double> driftS;  // device clock minus the computer's
    bool clockSet = false;
};

// The collector's name when none is given: the computer's host name.
std::string DefaultCollector();
// Of `meters`, those a round of `collector` reads when no meter is named:
// the ones assigned to it and the ones assigned to no collector.
std::vector<Meter> MetersOfCollector(std::vector<Meter> meters, const std::string& collector);

// One round over meters of the register: for each, only what its history
// lacks is read (a missing-part read with the history's newest records as
// the document; a meter's first read reads everything) and stored, in one
// transaction per meter, with its parameters and its line of the read log.
//
// Meters behind different endpoints (ports, modems and phone numbers,
// network addresses) are read at the same time, up to `parallel`; meters
// behind one endpoint one after another over one connection, so there is
// never more than one request in flight on an endpoint. A dead endpoint
// costs its own time-outs, never the others' time.
//
// A meter whose serial number is known is read only when the device at its
// place has that number: another device fails it, naming both, and nothing
// is stored. A meter another round holds (MeterClaims) is skipped.
//
// Runs on the calling thread's event loop (the tasks' 100 ms ticks, the
// database); returns when every meter has ended.
class FleetRound {
public:
    using Report = std::function<void(const MeterOutcome&)>;

    FleetRound(FleetDatabase& database, std::vector<Meter> meters, RoundOptions options);
    ~FleetRound();
    FleetRound(const FleetRound&) = delete;
    FleetRound& operator=(const FleetRound&) = delete;

    // Texts of the channels and every request and answer, with the meter's
    // name in front (zqcli --verbose). None by default.
    void SetLog(std::function<void(const std::string& line)> log);
    // Told when a meter's read starts (0) and whenever its task's percent
    // changes (0..100), on the thread that runs the round; the outcome still
    // comes through Run's `report`. None by default.
    using Progress = std::function<void(const std::string& name, int percent)>;
    void SetProgress(Progress progress);

    // Reads every meter; `report` is told each meter's outcome as it ends.
    void Run(const Report& report);
    // During Run (a signal, a deadline): the reads under way end and store
    // nothing; every meter not read is told as stopped. Run then returns.
    // On the round's own thread: another thread asks through a queued call
    // to an object living there (the round's event loop runs it at once).
    void Stop();

private:
    struct Lane;
    struct State;
    std::unique_ptr<State> state;
};

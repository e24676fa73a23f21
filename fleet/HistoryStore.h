#pragma once

#include "DateTime.h"
#include "FleetDatabase.h"
#include "ZQValve.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The history of each meter in the database: every record read (hourly,
// daily, monthly, journal) stored once, as the 16 bytes the device sent,
// with decoded columns for queries; each read's identification, current
// and setup parameters with their time; the read log.
//
// The order of a list is the order in which the device's ring is read,
// newest first, as in a ZQValve and an .arch file: each record carries a
// place in its list, and records added by a later read stand before those
// of earlier ones. A record whose 16 bytes the meter's list holds already is
// never stored again.
//
// Calls that write belong inside a FleetDatabase::Transaction of the
// caller's. Failures raise Exception.
class HistoryStore {
public:
    explicit HistoryStore(FleetDatabase& database) : database(database) {}

    // The meter's history as a document for a missing-part read: the
    // identification and parameters of its last read (none: all zero, and
    // Current.Serial 0), and the newest `limit` records of each list, newest
    // first.
    ZQValve Document(int64_t meterId, size_t limit = 65535);
    // The whole history as a ZQValve (every record, newest first) and how
    // many records each list holds.
    ZQValve Whole(int64_t meterId);
    std::array<size_t, 4> Counts(int64_t meterId);

    // Stores the records of `fresh` (lists newest first, newer than every
    // record the history holds) in front of the history's, each record once;
    // empty slots are never stored. `fresh` may hold records the history has
    // already (a missing-part read's grown document whole): they are left
    // as stored. `readId` names the read that brought them (0: an import).
    // Returns how many were stored, per list (akHour, akDay, akMonth,
    // akJournal).
    std::array<size_t, 4> AddNewest(int64_t meterId, const ZQValve& fresh, int64_t readId);
    // Brings the records of an older history (an .arch file kept by an
    // engineer) into the meter's: they are joined with the history as a
    // missing-part read joins a document and a device (HistoryJoin), the
    // newer of the two in front; none is stored twice, and none with the
    // time stamp of a stored record but other bytes (the stored one stays).
    // In each list, a file reaching further forward in time gives the
    // records in front of the history's newest it holds, and those older
    // than the history's oldest it holds; any other file only the latter
    // (ImportJoin.h). The file's parameters are stored when the file was read
    // later (its device time) than the last parameters stored, or when none
    // are. The file's serial number must be the meter's (when known; else it
    // becomes the meter's): another raises naming both, nothing stored. The
    // meter must be in the register. Returns how many were stored, per list.
    std::array<size_t, 4> Import(int64_t meterId, const ZQValve& file);

    // The identification, current and setup parameters of one read, at the
    // computer's local time `pcTime`: stored as a saved .arch file holds
    // them (the setup parameters as the window's page shows them,
    // SetupPageValues), so that Whole() gives the bytes of the file a read
    // saves.
    void AddParameters(int64_t meterId, int64_t readId, TDateTime pcTime, const ZQValve& valve);

    // The read log. A round groups reads; a read belongs to a round (0: one
    // read on its own, e.g. an import).
    int64_t BeginRound(const std::string& collector, TDateTime start);
    void EndRound(int64_t roundId, TDateTime end);
    int64_t BeginRead(int64_t meterId, int64_t roundId, TDateTime start);
    struct ReadOutcome {
        TDateTime end = 0;
        bool success = false;
        std::string text;                   // the task's final status, or the reason
        int requests = 0;                   // requests sent
        std::array<size_t, 4> added{};      // records stored, per list
        std::optional<double> clockDriftS;  // device clock minus the computer's, s
        bool clockSet = false;              // the device clock was set in this read
    };
    void EndRead(int64_t readId, const ReadOutcome& outcome);
    // The meter's last read: when it ended and its outcome; none before the first.
    struct LastRead {
        TDateTime end = 0;
        bool success = false;
        std::string text;
        std::string collector;  // of its round; empty for a read of no round
    };
    std::optional<LastRead> Last(int64_t meterId);
    // The meter's last read that succeeded.
    std::optional<LastRead> LastSuccess(int64_t meterId);

private:
    FleetDatabase& database;
};

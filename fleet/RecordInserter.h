#pragma once

#include "FleetDatabase.h"
#include "FleetQuery.h"
#include "HistoryJoin.h"

#include <QVariantList>

#include <cstddef>
#include <cstdint>
#include <memory>

// Stores records of one meter with their decoded columns, many in one
// statement (a round trip to a PostgreSQL server each costs far more than
// the row), each record once: one whose bytes the meter's list holds
// already is left as it is. The caller gives each record its seq (the
// place in its list); a record not stored leaves a gap, which the order
// does not mind.
class RecordInserter {
public:
    // `readId` 0: the records came from a file.
    RecordInserter(FleetDatabase& database, int64_t meterId, int64_t readId);
    ~RecordInserter();

    // Queues a record of list `kind` (ArchiveKind); it is stored by Flush,
    // or sooner.
    void Add(int kind, int64_t seq, const HistoryJoin::Record& record);
    // Stores what is queued. Returns how many records were stored since the
    // last Flush.
    size_t Flush();

private:
    void Store();

    FleetDatabase& database;
    int64_t meterId;
    int64_t readId;
    std::unique_ptr<FleetQuery> full;  // a whole batch
    QVariantList queued;
    size_t stored = 0;
};

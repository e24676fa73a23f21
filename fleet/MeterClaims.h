#pragma once

#include "FleetDatabase.h"

#include <cstdint>
#include <set>
#include <string>

// Claims on meters, so that two rounds on one database never read the same
// meter at the same time. A claim names its holder (host, process, round).
//
// On PostgreSQL a claim is also a session-level advisory lock of the
// holder's connection: the server lets go of it the moment that connection
// ends (the collector killed, its computer gone), so another collector takes
// the meter over at once, and a claim whose lock nobody holds is a dead
// holder's. On SQLite (one computer) a holder that died leaves a claim
// another round may take over: one of the same host whose process is gone,
// or one older than kStaleAfterS without a renewal.
class MeterClaims {
public:
    static constexpr int kStaleAfterS = 600;

    // `holder` identifies this round, e.g. "host/pid/round".
    MeterClaims(FleetDatabase& database, std::string holder);

    // True when this round now holds the meter; false when another live
    // round does (`heldBy` receives its holder; empty when claims came and
    // went too fast to tell).
    bool TryClaim(int64_t meterId, std::string& heldBy);
    // Keeps this round's claims fresh while a long read goes on.
    void Renew();
    void Release(int64_t meterId);
    void ReleaseAll();

private:
    bool TryClaimWithLock(int64_t meterId, std::string& heldBy);
    void Unlock(int64_t meterId);

    FleetDatabase& database;
    std::string holder;
    std::set<int64_t> locked;  // PostgreSQL: the advisory locks this connection holds
};

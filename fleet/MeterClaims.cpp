#include "MeterClaims.h"

#include "FleetQuery.h"

#include <QSysInfo>

#include <signal.h>
#include <unistd.h>
#include <cerrno>

namespace {

// A process of this computer that still runs (one of another user's
// included: kill() is then refused, not failed).
bool ProcessAlive(int64_t pid) {
    if (pid <= 0) {
        return false;
    }
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

QString ThisHost() {
    return QSysInfo::machineHostName();
}

// The advisory lock's key of a meter: the meter's id in a space of keys of
// this program's own, apart from any other user of advisory locks on the
// same database.
QVariant LockKey(int64_t meterId) {
    constexpr int64_t kSpace = int64_t{0x5A51} << 40;
    return SqlInt(kSpace | (meterId & ((int64_t{1} << 40) - 1)));
}

}  // namespace

MeterClaims::MeterClaims(FleetDatabase& database, std::string holder)
    : database(database), holder(std::move(holder)) {}

bool MeterClaims::TryClaim(int64_t meterId, std::string& heldBy) {
    if (database.IsPostgres()) {
        return TryClaimWithLock(meterId, heldBy);
    }
    const QVariant id = SqlInt(meterId);
    const QVariant me = SqlText(holder);
    FleetDatabase::Transaction transaction(database);
    // A claim released between the two statements below: try once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QString now = SqlTime(SqlUtcNow());
        FleetQuery insert(
            database, QStringLiteral("INSERT INTO claims (meter_id, holder, host, pid, claimed, "
                                     "renewed) VALUES (?, ?, ?, ?, ?, ?) "
                                     "ON CONFLICT (meter_id) DO NOTHING"));
        insert.Run({id, me, ThisHost(), SqlInt(getpid()), now, now});
        if (insert.RowsAffected() == 1) {
            transaction.Commit();
            return true;
        }
        FleetQuery held(database, QStringLiteral("SELECT holder, host, pid, CAST(renewed AS TEXT) "
                                                 "FROM claims WHERE meter_id = ?"));
        held.Run({id});
        if (!held.Next()) {
            continue;
        }
        const std::string other = held.Value(0).toString().toStdString();
        if (other == holder) {
            transaction.Commit();
            return true;
        }
        const bool deadHere =
            held.Value(1).toString() == ThisHost() && !ProcessAlive(held.Value(2).toLongLong());
        const std::optional<TDateTime> renewed = TimeFromSql(held.Value(3));
        const bool silent =
            !renewed || (SqlUtcNow() - *renewed) * 86400.0 > static_cast<double>(kStaleAfterS);
        if (deadHere || silent) {
            // Taken over only from the holder seen: of two rounds taking over
            // the same claim, one wins.
            FleetQuery take(database, QStringLiteral("UPDATE claims SET holder = ?, host = ?, "
                                                     "pid = ?, claimed = ?, renewed = ? "
                                                     "WHERE meter_id = ? AND holder = ?"));
            take.Run({me, ThisHost(), SqlInt(getpid()), now, now, id, held.Value(0)});
            if (take.RowsAffected() == 1) {
                transaction.Commit();
                return true;
            }
            continue;
        }
        heldBy = other;
        return false;
    }
    // Claimed and released by others twice while this round looked: it is
    // busy, by whom is not known.
    heldBy.clear();
    return false;
}

bool MeterClaims::TryClaimWithLock(int64_t meterId, std::string& heldBy) {
    if (locked.count(meterId) != 0) {
        return true;
    }
    const bool free =
        FleetScalar(database, QStringLiteral("SELECT pg_try_advisory_lock(CAST(? AS BIGINT))"),
                    {LockKey(meterId)})
            .toBool();
    const QVariant id = SqlInt(meterId);
    if (!free) {
        // A live connection holds it; its row names whom (none when it has
        // not written it yet or is letting go).
        heldBy = FleetScalar(database,
                             QStringLiteral("SELECT holder FROM claims WHERE meter_id = ?"), {id})
                     .toString()
                     .toStdString();
        return false;
    }
    locked.insert(meterId);
    // Any row left is a dead holder's: its lock went with its connection.
    try {
        const QString now = SqlTime(SqlUtcNow());
        FleetQuery(database,
                   QStringLiteral("INSERT INTO claims (meter_id, holder, host, pid, claimed, "
                                  "renewed) VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (meter_id) DO "
                                  "UPDATE SET holder = EXCLUDED.holder, host = EXCLUDED.host, "
                                  "pid = EXCLUDED.pid, claimed = EXCLUDED.claimed, "
                                  "renewed = EXCLUDED.renewed"))
            .Run({id, SqlText(holder), ThisHost(), SqlInt(getpid()), now, now});
    } catch (...) {
        Unlock(meterId);
        throw;
    }
    return true;
}

void MeterClaims::Unlock(int64_t meterId) {
    if (locked.erase(meterId) != 0) {
        FleetScalar(database, QStringLiteral("SELECT pg_advisory_unlock(CAST(? AS BIGINT))"),
                    {LockKey(meterId)});
    }
}

void MeterClaims::Renew() {
    FleetQuery(database, QStringLiteral("UPDATE claims SET renewed = ? WHERE holder = ?"))
        .Run({SqlTime(SqlUtcNow()), SqlText(holder)});
}

void MeterClaims::Release(int64_t meterId) {
    FleetQuery(database, QStringLiteral("DELETE FROM claims WHERE meter_id = ? AND holder = ?"))
        .Run({SqlInt(meterId), SqlText(holder)});
    Unlock(meterId);
}

void MeterClaims::ReleaseAll() {
    FleetQuery(database, QStringLiteral("DELETE FROM claims WHERE holder = ?"))
        .Run({SqlText(holder)});
    while (!locked.empty()) {
        Unlock(*locked.begin());
    }
}

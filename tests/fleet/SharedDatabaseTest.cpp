// A database several computers share, with the roles its owner gives them
// (fleet-roles.sql run with psql, as the README tells): a collector stores
// what a round brings and cannot change or drop what is stored; a reader
// only reads.
#include "Exception.h"
#include "FleetQuery.h"
#include "FleetTestSupport.h"
#include "HistoryStore.h"
#include "MeterClaims.h"
#include "MeterRegister.h"

#include <QProcess>

#include <cstdlib>
#include <functional>

namespace {

class SharedDatabaseTest : public FleetTest {
protected:
    // psql runs the owner's script on the case's database.
    void RunRolesScript() {
        QProcess psql;
        psql.start(QStringLiteral("psql"),
                   {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                    QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"),
                    QString::fromStdString(dbname), QStringLiteral("-f"),
                    QStringLiteral(ZQ_FLEET_ROLES_SQL)});
        ASSERT_TRUE(psql.waitForFinished(30000));
        ASSERT_EQ(psql.exitCode(), 0) << psql.readAllStandardError().toStdString();
    }

    // A login role of `group`; the cluster's password serves it.
    std::string Login(const std::string& group) {
        const std::string role = group + "_" + std::to_string(getpid()) + "_" + dbname;
        Admin("CREATE ROLE " + role + " LOGIN PASSWORD '" + std::getenv("PGPASSWORD") +
              "' IN ROLE " + group);
        return "postgresql://" + role + "@/" + dbname;
    }
};

TEST_P(SharedDatabaseTest, CollectorsStoreReadersReadNeitherRewrites) {
    int64_t meterId = 0;
    {
        auto owner = Open();
        meterId = MeterRegister(*owner).Add(PortMeter("A"));
    }
    RunRolesScript();
    RunRolesScript();  // again after an upgrade: nothing changes, nothing fails

    struct Step {
        const char* name;
        std::function<void(FleetDatabase&)> run;
        bool collector;  // allowed to a collector
        bool reader;     // allowed to a reader
    };
    const auto stored = [&](FleetDatabase& db) {
        HistoryStore store(db);
        const int64_t round = store.BeginRound("north", SqlNow());
        const int64_t read = store.BeginRead(meterId, round, SqlNow());
        ZQValve fresh = Reading(5001);
        fresh.HourArchive = Hours(9, 0);
        store.AddNewest(meterId, fresh, read);
        store.AddParameters(meterId, read, SqlNow(), fresh);
        MeterRegister(db).SetSerial(meterId, 5001);
        HistoryStore::ReadOutcome outcome;
        outcome.end = SqlNow();
        outcome.success = true;
        store.EndRead(read, outcome);
        store.EndRound(round, SqlNow());
    };
    const Step steps[] = {
        {"ListsAndReadsHistory",
         [&](FleetDatabase& db) {
             EXPECT_EQ(MeterRegister(db).List().size(), 1u);
             HistoryStore(db).Whole(meterId);
         },
         true, true},
        {"StoresARead", stored, true, false},
        {"ClaimsAMeter",
         [&](FleetDatabase& db) {
             MeterClaims claims(db, "north/1/1");
             std::string heldBy;
             EXPECT_TRUE(claims.TryClaim(meterId, heldBy));
             claims.ReleaseAll();
         },
         true, false},
        {"RewritesARecord",
         [](FleetDatabase& db) { FleetScalar(db, "UPDATE records SET v_plus = 0"); }, false, false},
        {"DeletesRecords", [](FleetDatabase& db) { FleetScalar(db, "DELETE FROM records"); }, false,
         false},
        {"DeletesParameters", [](FleetDatabase& db) { FleetScalar(db, "DELETE FROM parameters"); },
         false, false},
        {"DropsTheRecords", [](FleetDatabase& db) { FleetExec(db, "DROP TABLE records"); }, false,
         false},
        {"AddsAMeter", [](FleetDatabase& db) { MeterRegister(db).Add(PortMeter("B")); }, false,
         false},
        {"RenamesAMeter",
         [](FleetDatabase& db) { FleetScalar(db, "UPDATE meters SET name = 'X'"); }, false, false},
    };
    const std::string collector = Login("zq_collector");
    const std::string reader = Login("zq_reader");
    for (const Step& step : steps) {
        for (const auto& [uri, allowed] :
             {std::pair{collector, step.collector}, std::pair{reader, step.reader}}) {
            SCOPED_TRACE(std::string(step.name) + " as " + uri);
            auto db = FleetDatabase::Open(uri);  // an up-to-date schema opens for either
            bool done = true;
            try {
                step.run(*db);
            } catch (const Exception& e) {
                done = false;
                const std::string text = e.what();
                EXPECT_TRUE(!allowed && (text.find("permission denied") != std::string::npos ||
                                         text.find("must be owner") != std::string::npos))
                    << text;
            }
            EXPECT_EQ(done, allowed);
        }
    }
    auto owner = Open();
    EXPECT_EQ(HistoryStore(*owner).Counts(meterId)[ZQ_namespace::akHour], 10u)
        << "what the collector stored stands";
}

INSTANTIATE_TEST_SUITE_P(Postgres, SharedDatabaseTest, testing::Values(Engine{"Postgres", true}),
                         [](const auto&) { return std::string("Cluster"); });

}  // namespace

// A meter's history in the database: lists kept in the order they were read
// with each record once, older and newer files joined where they belong
// without replacing what is stored, another device's file refused, the
// whole history giving back the file of a read, and claims that keep two
// rounds off one meter.
#include "ArchiveFile.h"
#include "CaseNames.h"
#include "Exception.h"
#include "FleetQuery.h"
#include "FleetTestSupport.h"
#include "HistoryStore.h"
#include "MeterClaims.h"
#include "MeterRegister.h"

#include <QSysInfo>

#include <sys/wait.h>

#include <chrono>
#include <thread>

namespace {

ZQ_PRINT_CASES_BY_NAME

using ZQ_namespace::ArchiveStruct;
using HistoryStoreTest = FleetTest;

TEST_P(HistoryStoreTest, NewestInFrontEachRecordOnce) {
    auto db = Open();
    HistoryStore store(*db);
    const int64_t id = MeterRegister(*db).Add(PortMeter("A"));
    ZQValve first;
    first.HourArchive = Hours(10, 1);
    first.HourArchive.insert(first.HourArchive.begin() + 3, ArchiveStruct{});  // a skipped page
    first.Journal = {Event(30, 2), Event(10, 1)};
    EXPECT_EQ(store.AddNewest(id, first, 0), (std::array<size_t, 4>{10, 0, 0, 2}));

    // The next read: what the device wrote since, then records it had
    // before (as a missing-part read's history holds them).
    ZQValve second;
    second.HourArchive = Hours(14, 8);
    second.DayArchive = {Hour(24)};
    second.Journal = {Event(40, 3), Event(30, 2)};
    EXPECT_EQ(store.AddNewest(id, second, 0), (std::array<size_t, 4>{4, 1, 0, 1}));

    const ZQValve whole = store.Whole(id);
    EXPECT_EQ(whole.HourArchive, Hours(14, 1));
    EXPECT_EQ(whole.Journal,
              (std::vector<ZQ_namespace::JournalStruct>{Event(40, 3), Event(30, 2), Event(10, 1)}));
    EXPECT_EQ(store.Document(id, 5).HourArchive, Hours(14, 10));
    EXPECT_EQ(store.Counts(id), (std::array<size_t, 4>{14, 1, 0, 3}));
}

struct ImportCase {
    const char* name;
    std::vector<ArchiveStruct> history;  // stored before, newest first
    std::vector<ArchiveStruct> file;
    std::vector<ArchiveStruct> after;
};

std::vector<ArchiveStruct> Join(std::initializer_list<std::vector<ArchiveStruct>> parts) {
    std::vector<ArchiveStruct> out;
    for (const auto& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

const ImportCase kImports[] = {
    {"OlderFileGoesBehind", Hours(20, 11), Hours(15, 1), Hours(20, 1)},
    {"NewerFileGoesInFront", Hours(20, 11), Hours(25, 16), Hours(25, 11)},
    {"NewerFileReachingFurtherBackGoesAtBothEnds", Hours(20, 11), Hours(25, 5), Hours(25, 5)},
    {"FileAlreadyHeldAddsNothing", Hours(20, 11), Hours(18, 13), Hours(20, 11)},
    {"OlderFileWithoutCommonRecordGoesBehind", Hours(20, 11), Hours(8, 1),
     Join({Hours(20, 11), Hours(8, 1)})},
    // Hour 20 reads with other bytes in the newer file: the stored one stays.
    {"NewerFilesChangedRecordNotStored", Hours(20, 11),
     Join({Hours(25, 21), {Hour(20, 2)}, Hours(19, 16)}), Hours(25, 11)},
    // The same at the old end: hour 11 changed in the older file.
    {"OlderFilesChangedRecordNotStored", Hours(20, 11),
     Join({Hours(13, 12), {Hour(11, 2)}, Hours(10, 1)}), Hours(20, 1)},
    {"EmptyHistoryTakesTheFileButItsEmptySlots",
     {},
     Join({Hours(5, 4), {ArchiveStruct{}}, Hours(3, 1)}),
     Hours(5, 1)},
};

TEST_P(HistoryStoreTest, ImportJoinsAFileWhereItBelongs) {
    auto db = Open();
    HistoryStore store(*db);
    MeterRegister meters(*db);
    for (const ImportCase& c : kImports) {
        SCOPED_TRACE(c.name);
        const int64_t id = meters.Add(PortMeter(c.name));
        ZQValve stored;
        stored.HourArchive = c.history;
        store.AddNewest(id, stored, 0);
        ZQValve file = Reading(4711);
        file.HourArchive = c.file;
        const std::array<size_t, 4> added = store.Import(id, file);
        EXPECT_EQ(store.Whole(id).HourArchive, c.after);
        EXPECT_EQ(added[0], c.after.size() - c.history.size());
        EXPECT_EQ(meters.Find(id)->serial, 4711u);
    }
}

TEST_P(HistoryStoreTest, AnotherDevicesFileIsRefusedAndNothingStored) {
    auto db = Open();
    HistoryStore store(*db);
    const int64_t id = MeterRegister(*db).Add(PortMeter("A"));
    ZQValve own = Reading(4711);
    own.HourArchive = Hours(10, 1);
    store.Import(id, own);
    const ZQValve before = store.Whole(id);

    ZQValve other = Reading(4712);
    other.Current.Date += 30;  // read later: its parameters would be the last
    other.HourArchive = Hours(40, 11);
    try {
        store.Import(id, other);
        ADD_FAILURE() << "another device's file was taken";
    } catch (const Exception& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("№ 000004712"), std::string::npos) << text;
        EXPECT_NE(text.find("№ 000004711"), std::string::npos) << text;
    }
    EXPECT_EQ(store.Whole(id), before);
}

// Two rounds of a device that still holds everything it wrote: the history
// gives back, byte for byte, the file a whole read of it saves now.
TEST_P(HistoryStoreTest, WholeHistoryIsTheFileOfAWholeRead) {
    auto db = Open();
    HistoryStore store(*db);
    const int64_t id = MeterRegister(*db).Add(PortMeter("A"));
    ZQValve device = Reading(4711);
    device.HourArchive = Hours(30, 1);
    device.DayArchive = {Hour(48), Hour(24)};
    device.MonthArchive = {Hour(0)};
    device.Journal = {Event(20, 5), Event(10, 1)};

    auto round = [&](const ZQValve& read, const ZQValve& fresh, bool success) {
        const int64_t roundId = store.BeginRound("host/1/1", SqlNow());
        const int64_t readId = store.BeginRead(id, roundId, SqlNow());
        store.AddParameters(id, readId, SqlNow(), read);
        HistoryStore::ReadOutcome outcome;
        outcome.end = SqlNow();
        outcome.success = success;
        outcome.text = "Чтение завершено";
        outcome.added = store.AddNewest(id, fresh, readId);
        outcome.clockDriftS = -1.5;
        store.EndRead(readId, outcome);
        store.EndRound(roundId, SqlNow());
    };
    round(device, device, true);
    ZQValve later = device;
    later.Current.Time += 1.0 / 24;
    later.Current.Vd += 3;
    later.HourArchive = Join({Hours(33, 31), device.HourArchive});
    later.Journal.insert(later.Journal.begin(), Event(50, 7));
    ZQValve fresh;
    fresh.HourArchive = Hours(33, 31);
    fresh.Journal = {Event(50, 7)};
    round(later, fresh, true);

    EXPECT_EQ(EncodeArchiveFile(store.Whole(id)), EncodeArchiveFile(later));
    const std::optional<HistoryStore::LastRead> last = store.Last(id);
    ASSERT_TRUE(last);
    EXPECT_TRUE(last->success);
    EXPECT_EQ(last->text, "Чтение завершено");
    EXPECT_EQ(FleetScalar(*db, "SELECT SUM(added_hour) FROM reads").toInt(), 33);
}

// A pid no process has: a child that has ended and been reaped.
int64_t DeadPid() {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    return child;
}

TEST_P(HistoryStoreTest, ClaimsKeepRoundsApartUntilTheHolderIsGone) {
    auto db = Open();
    auto other = Open();
    const int64_t id = MeterRegister(*db).Add(PortMeter("A"));
    MeterClaims first(*db, "host/1/1");
    MeterClaims second(*other, "host/2/1");
    std::string heldBy;
    ASSERT_TRUE(first.TryClaim(id, heldBy));
    EXPECT_TRUE(first.TryClaim(id, heldBy));  // its own again
    EXPECT_FALSE(second.TryClaim(id, heldBy));
    EXPECT_EQ(heldBy, "host/1/1");
    first.Release(id);
    ASSERT_TRUE(second.TryClaim(id, heldBy));
    second.ReleaseAll();

    // A holder whose connection ends (its process killed) without letting
    // go: PostgreSQL frees its claim at once; SQLite on this computer while
    // the process lives (it does here) not until it goes silent.
    {
        auto dying = Open();
        MeterClaims holder(*dying, "host/3/1");
        ASSERT_TRUE(holder.TryClaim(id, heldBy));
    }
    // The server lets go once it has seen the connection end: a moment.
    bool taken = second.TryClaim(id, heldBy);
    for (int wait = 0; !taken && db->IsPostgres() && wait < 100; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        taken = second.TryClaim(id, heldBy);
    }
    EXPECT_EQ(taken, db->IsPostgres());
    second.ReleaseAll();
    FleetScalar(*db, "DELETE FROM claims");

    const struct {
        const char* name;
        const char* host;  // "" this computer
        int64_t pid;
        int renewedAgoS;
        bool takenOver;
    } holders[] = {
        {"LiveHolderHere", "", getpid(), 0, false},
        {"DeadHolderHere", "", DeadPid(), 0, true},
        {"HolderElsewhereRenewedLately", "other-host", DeadPid(), 60, false},
        {"HolderElsewhereSilent", "other-host", 1, MeterClaims::kStaleAfterS + 60, true},
    };
    for (const auto& h : holders) {
        SCOPED_TRACE(h.name);
        FleetScalar(
            *db,
            "INSERT INTO claims (meter_id, holder, host, pid, claimed, renewed) VALUES (?, "
            "?, ?, ?, ?, ?)",
            {SqlInt(id), "stale/round", *h.host ? QString(h.host) : QSysInfo::machineHostName(),
             SqlInt(h.pid), SqlTime(SqlUtcNow()), SqlTime(SqlUtcNow() - h.renewedAgoS / 86400.0)});
        // On PostgreSQL a row no live connection's lock stands behind is a
        // dead holder's, whatever it says.
        EXPECT_EQ(second.TryClaim(id, heldBy), h.takenOver || db->IsPostgres());
        second.ReleaseAll();
        if (!h.takenOver && !db->IsPostgres()) {
            EXPECT_EQ(heldBy, "stale/round");
        }
        FleetScalar(*db, "DELETE FROM claims");
    }
}

ZQ_FLEET_ENGINES(HistoryStoreTest);

}  // namespace

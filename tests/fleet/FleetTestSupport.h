// The fleet's tests run each case on both engines: an SQLite file in a
// temporary folder, and a database of its own in the PostgreSQL cluster
// that pg_virtualenv made for the run (its PGHOST, PGPORT, PGUSER,
// PGDATABASE and PGPASSWORD in the environment). The instantiation names,
// "Sqlite" and "Postgres", choose which of them a run takes.
#pragma once

#include "ArchiveStruct.h"
#include "FleetDatabase.h"
#include "JournalStruct.h"
#include "Meter.h"
#include "ZQValve.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <unistd.h>

#include <memory>
#include <string>

struct Engine {
    const char* name;
    bool postgres;
};

inline void PrintTo(const Engine& e, std::ostream* os) {
    *os << e.name;
}

class FleetTest : public testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        if (!GetParam().postgres) {
            target = dir.filePath(QStringLiteral("sub/folder/fleet.sqlite")).toStdString();
            return;
        }
        // A database of its own for each case; the cluster's environment
        // names the server, "postgresql://" alone reaches it.
        static int made = 0;
        dbname = "zq_fleet_" + std::to_string(getpid()) + "_" + std::to_string(++made);
        Admin("CREATE DATABASE " + dbname);
        target = "postgresql:///" + dbname;
    }

    void TearDown() override {
        if (!dbname.empty()) {
            Admin("DROP DATABASE IF EXISTS " + dbname + " WITH (FORCE)");
        }
    }

    // A connection of its own to the case's database.
    std::unique_ptr<FleetDatabase> Open() { return FleetDatabase::Open(target); }

    // Runs `sql` on the cluster's default database (PostgreSQL only).
    static void Admin(const std::string& sql) {
        const QString name = QStringLiteral("zq_fleet_admin");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
            QSqlQuery q(db);
            ASSERT_TRUE(q.exec(QString::fromStdString(sql))) << q.lastError().text().toStdString();
        }
        QSqlDatabase::removeDatabase(name);
    }

    QTemporaryDir dir;
    std::string target;
    std::string dbname;
};

#define ZQ_FLEET_ENGINES(Suite)                                                          \
    INSTANTIATE_TEST_SUITE_P(Sqlite, Suite, testing::Values(Engine{"Sqlite", false}),    \
                             [](const auto&) { return std::string("File"); });           \
    INSTANTIATE_TEST_SUITE_P(Postgres, Suite, testing::Values(Engine{"Postgres", true}), \
                             [](const auto&) { return std::string("Cluster"); })

// Records for the tests. An hourly record of hour `hour` after 1 January
// 2024 00:00 whose V+ byte carries `tag` (another tag: the same hour with
// other bytes).
inline ZQ_namespace::ArchiveStruct Hour(int hour, uint8_t tag = 1) {
    ZQ_namespace::ArchiveStruct r{};
    r.year = 24;
    r.month = 1;
    r.day = static_cast<uint8_t>(1 + hour / 24);
    r.hour = static_cast<uint8_t>(hour % 24);
    r.vPlus[0] = tag;
    r.vPlus[3] = 0x40;
    r.workTime[0] = static_cast<uint8_t>(hour);
    return r;
}

// Hours `newest` down to `oldest`, newest first, as a read lists them.
inline std::vector<ZQ_namespace::ArchiveStruct> Hours(int newest, int oldest, uint8_t tag = 1) {
    std::vector<ZQ_namespace::ArchiveStruct> list;
    for (int h = newest; h >= oldest; --h) {
        list.push_back(Hour(h, tag));
    }
    return list;
}

inline ZQ_namespace::JournalStruct Event(int minute, int code) {
    ZQ_namespace::JournalStruct r{};
    r.year = 24;
    r.month = 1;
    r.day = 1;
    r.hour = 8;
    r.minute = static_cast<uint8_t>(minute);
    r.code[0] = static_cast<uint8_t>(code);
    return r;
}

// A read of device `serial` at 12:00 on 5 January 2024, with parameters the
// window's setup page holds as read.
inline ZQValve Reading(uint32_t serial) {
    ZQValve v;
    v.Ident[0] = 'Z';
    v.Ident[2] = 1;
    v.Current.Serial = serial;
    TryEncodeDate(2024, 1, 5, v.Current.Date);
    TryEncodeTime(12, 0, 0, 0, v.Current.Time);
    v.Current.Vd = 1234.5;
    v.Current.G = 2.5f;
    v.Current.Twork = 6000;
    v.Current.NSFlags = 4;
    v.Setup.Date = v.Current.Date;
    v.Setup.Time = v.Current.Time;
    v.Setup.NetAddress = 7;
    v.Setup.CalibrationCode = 100;
    return v;
}

inline Meter PortMeter(const std::string& name, const std::string& port = "COM7") {
    Meter m;
    m.name = name;
    m.connection.CurrentChanel = 0;
    m.connection.ComPortName = port;
    m.connection.NetAddress = 1;
    return m;
}

#pragma once

#include <QSqlDatabase>

#include <memory>
#include <string>

struct FleetDialect;

// The history database of a fleet of meters: an SQLite file (the default,
// in the user's data folder) or a PostgreSQL database shared by several
// computers. One code path serves both through Qt SQL (QSQLITE, QPSQL);
// the few differences of dialect sit in one table in FleetDatabase.cpp.
//
// The schema is created and brought up to date by numbered migrations, all
// applied in one transaction when the database opens; the version is kept
// in the database. docs/fleet-database.md describes every table and column.
//
// A failure (cannot open, a statement refused) raises Exception (Exception.h)
// with a text that names the database and the engine's reason. One thread:
// the one that opened it (Qt SQL connections are per thread).
class FleetDatabase {
public:
    // What `--db` or ZQ_FLEET_DB names: a libpq URI ("postgresql://" or
    // "postgres://"; user, host, port, database and parameters such as
    // sslmode or service; what it leaves out comes from libpq's environment,
    // its service file and .pgpass), or the path of an SQLite file. Empty:
    // DefaultSqlitePath().
    static std::unique_ptr<FleetDatabase> Open(const std::string& target);

    // $XDG_DATA_HOME/Halbrec/ZURavorav/fleet.sqlite (default ~/.local/share).
    static std::string DefaultSqlitePath();

    ~FleetDatabase();
    FleetDatabase(const FleetDatabase&) = delete;
    FleetDatabase& operator=(const FleetDatabase&) = delete;

    QSqlDatabase& Db() { return db; }
    bool IsPostgres() const { return postgres; }
    // The database for messages: the file's path, or user@host:port/dbname
    // (never a password).
    const std::string& Name() const { return name; }
    int SchemaVersion() const;

    // An all-or-nothing unit of work: Commit makes it last; destroyed
    // without Commit, everything in it is rolled back. One opened while
    // another is open nests inside it (a savepoint): its Commit keeps its
    // work for the outer one to commit or roll back. Destroy them in the
    // reverse order of their making.
    class Transaction {
    public:
        explicit Transaction(FleetDatabase& database);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void Commit();

    private:
        FleetDatabase& database;
        int level = 0;  // 1 the outermost, 2.. savepoints
        bool open = false;
    };

private:
    FleetDatabase() = default;
    void Migrate();

    QSqlDatabase db;
    std::string connection;  // the Qt connection name
    std::string name;
    bool postgres = false;
    const FleetDialect* dialect = nullptr;
    int depth = 0;  // transactions open
};

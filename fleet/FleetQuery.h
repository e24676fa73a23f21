#pragma once

#include "DateTime.h"
#include "FleetDatabase.h"

#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <initializer_list>
#include <optional>
#include <string>

// One statement of the history database, prepared once and run as often as
// needed, its values bound by position (`?`): nothing a user typed is ever
// pasted into SQL. A failure raises Exception naming the database and the
// engine's reason. Rows are read forward only.
class FleetQuery {
public:
    FleetQuery(FleetDatabase& database, const QString& sql);

    // Binds `values` to the placeholders in order and runs the statement.
    FleetQuery& Run(std::initializer_list<QVariant> values = {});
    FleetQuery& Run(const QVariantList& values);
    bool Next() { return query.next(); }
    QVariant Value(int column) const { return query.value(column); }
    // Rows changed by the last Run of an INSERT, UPDATE or DELETE.
    int RowsAffected() const { return query.numRowsAffected(); }

private:
    FleetDatabase& database;
    QSqlQuery query;
};

// Runs one statement and returns the first column of its first row (null
// when there is none), for counts, ids from RETURNING and the like.
QVariant FleetScalar(FleetDatabase& database, const QString& sql,
                     std::initializer_list<QVariant> values = {});

// Runs one statement that has no values to bind and that PostgreSQL cannot
// prepare (a table made, a transaction begun, a setting): the same answer
// as FleetScalar.
QVariant FleetExec(FleetDatabase& database, const QString& sql);

// Date and time columns hold a local time without zone: TIMESTAMP in
// PostgreSQL, "YYYY-MM-DD HH:MM:SS.mmm" text in SQLite. Values are bound as
// that text and read back as text (CAST(column AS TEXT)) on both engines.
QString SqlTime(TDateTime value);
// Null for a null or unreadable value.
std::optional<TDateTime> TimeFromSql(const QVariant& value);
// The computer's local time now, and the same in UTC for claims that
// computers in other time zones compare.
TDateTime SqlNow();
TDateTime SqlUtcNow();

// A whole number as both drivers bind it (qlonglong); 0 as null for keys
// that may be left out (a read of no round, a record of no read).
inline QVariant SqlInt(int64_t value) {
    return QVariant(static_cast<qlonglong>(value));
}
inline QVariant SqlKeyOrNull(int64_t id) {
    return id != 0 ? SqlInt(id) : QVariant();
}
QString SqlText(const std::string& text);
// A real number; null for a NaN or an infinity, which neither engine takes
// the same way.
QVariant SqlReal(double value);

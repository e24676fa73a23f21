#include "FleetQuery.h"

#include "Exception.h"

#include <QDateTime>
#include <QSqlError>

#include <cmath>
#include <cstdio>

namespace {

std::string Reason(const QSqlError& error) {
    const QString text = error.databaseText().isEmpty() ? error.driverText() : error.databaseText();
    return text.trimmed().toStdString();
}

TDateTime FromQDateTime(const QDateTime& t) {
    TDateTime day = 0;
    TDateTime time = 0;
    const QDate d = t.date();
    const QTime c = t.time();
    TryEncodeDate(d.year(), d.month(), d.day(), day);
    TryEncodeTime(c.hour(), c.minute(), c.second(), c.msec(), time);
    return day + time;
}

}  // namespace

FleetQuery::FleetQuery(FleetDatabase& database, const QString& sql)
    : database(database), query(database.Db()) {
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        throw Exception("База истории " + database.Name() + ": " + Reason(query.lastError()));
    }
}

FleetQuery& FleetQuery::Run(std::initializer_list<QVariant> values) {
    return Run(QVariantList(values));
}

FleetQuery& FleetQuery::Run(const QVariantList& values) {
    int position = 0;
    for (const QVariant& value : values) {
        query.bindValue(position++, value);
    }
    if (!query.exec()) {
        throw Exception("База истории " + database.Name() + ": " + Reason(query.lastError()));
    }
    return *this;
}

QVariant FleetScalar(FleetDatabase& database, const QString& sql,
                     std::initializer_list<QVariant> values) {
    FleetQuery query(database, sql);
    query.Run(values);
    return query.Next() ? query.Value(0) : QVariant();
}

QVariant FleetExec(FleetDatabase& database, const QString& sql) {
    QSqlQuery query(database.Db());
    query.setForwardOnly(true);
    if (!query.exec(sql)) {
        throw Exception("База истории " + database.Name() + ": " + Reason(query.lastError()));
    }
    return query.next() ? query.value(0) : QVariant();
}

QString SqlTime(TDateTime value) {
    return QString::fromStdString(FormatDateTime("yyyy'-'mm'-'dd hh':'nn':'ss'.'zzz", value));
}

std::optional<TDateTime> TimeFromSql(const QVariant& value) {
    if (value.isNull()) {
        return std::nullopt;
    }
    // "YYYY-MM-DD HH:MM:SS", a fraction of a second after it or not.
    const std::string text = value.toString().toStdString();
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%lf", &year, &month, &day, &hour, &minute,
                    &second) != 6) {
        return std::nullopt;
    }
    const int whole = static_cast<int>(second);
    const int ms = static_cast<int>((second - whole) * 1000 + 0.5);
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(year, month, day, date) ||
        !TryEncodeTime(hour, minute, whole, std::min(ms, 999), time)) {
        return std::nullopt;
    }
    return date + time;
}

TDateTime SqlNow() {
    return FromQDateTime(QDateTime::currentDateTime());
}

TDateTime SqlUtcNow() {
    return FromQDateTime(QDateTime::currentDateTimeUtc());
}

QVariant SqlReal(double value) {
    return std::isfinite(value) ? QVariant(value) : QVariant();
}

QString SqlText(const std::string& text) {
    return QString::fromStdString(text);
}

#include "DateTimeConvert.h"

#include <QDateEdit>
#include <QTimeEdit>

namespace zqui {

namespace {

const QDate kDayZero(1899, 12, 30);

}  // namespace

QDate DateFromDays(TDateTime value) {
    int year = 0, month = 0, day = 0;
    DecodeDate(value, year, month, day);
    return QDate(year, month, day);
}

QTime TimeFromDays(TDateTime value) {
    int hour = 0, minute = 0, second = 0, ms = 0;
    DecodeTime(value, hour, minute, second, ms);
    return QTime(hour, minute, second, ms);
}

TDateTime DaysFromDate(const QDate& date) {
    TDateTime result = 0;
    if (!date.isValid() || !TryEncodeDate(date.year(), date.month(), date.day(), result)) {
        return 0;
    }
    return result;
}

TDateTime DaysFromTime(const QTime& time) {
    TDateTime result = 0;
    if (!time.isValid() ||
        !TryEncodeTime(time.hour(), time.minute(), time.second(), time.msec(), result)) {
        return 0;
    }
    return result;
}

void SetupDateEdit(QDateEdit* edit) {
    const QString sep(QChar::fromLatin1(DefaultFormatSettings().DateSeparator));
    edit->setDisplayFormat(QStringLiteral("dd") + sep + QStringLiteral("MM") + sep +
                           QStringLiteral("yyyy"));
    edit->setMinimumDate(kDayZero);
    edit->setSpecialValueText(QString::fromUtf8(kNoDateText));
}

void SetupTimeEdit(QTimeEdit* edit) {
    const QString sep(QChar::fromLatin1(DefaultFormatSettings().TimeSeparator));
    edit->setDisplayFormat(QStringLiteral("HH") + sep + QStringLiteral("mm") + sep +
                           QStringLiteral("ss"));
}

}  // namespace zqui

#pragma once

#include "DateTime.h"

#include <QDate>
#include <QTime>

class QDateEdit;
class QTimeEdit;

// Between day-count values (whole days since 30 December 1899, the fraction
// the time of day) and the date and time editors.
//
// Day 0 (30 December 1899) is what a record holds before anything was read
// and what a value that cannot be split gives (NaN, outside years 1..9999).
// A date editor set up here shows it as "нет даты" rather than as a date,
// and has it as its lowest date, so reading it back gives 0 again.
namespace zqui {

inline constexpr char kNoDateText[] = "нет даты";

QDate DateFromDays(TDateTime value);
QTime TimeFromDays(TDateTime value);
// The day number of `date` (no fraction); 0 for an invalid date.
TDateTime DaysFromDate(const QDate& date);
// The fraction of a day of `time`; 0 for an invalid time.
TDateTime DaysFromTime(const QTime& time);

// Display formats with the date and time separators of
// DefaultFormatSettings(); the date editor's lowest date is day 0, shown as
// kNoDateText.
void SetupDateEdit(QDateEdit* edit);
void SetupTimeEdit(QTimeEdit* edit);

}  // namespace zqui

#pragma once

#include <string>

// Day-count date-time values: whole days since 30 December 1899, the
// fraction being the time of day (0.5 = 12:00).
using TDateTime = double;

// Separators that replace an unquoted '/' and ':' in a pattern. Programs fill
// the default record from the system locale at start (SetFormatSettingsFromLocale);
// tests set it explicitly.
struct FormatSettings {
    char DateSeparator = '/';
    char TimeSeparator = ':';
};

FormatSettings& DefaultFormatSettings();

// Russian locales give "." and ":", the C/POSIX locale "/" and ":". Reads
// LC_ALL, LC_TIME and LANG in that order.
void SetFormatSettingsFromLocale();

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Valid: month 1..12, day within that month of the proleptic Gregorian
// calendar, year 1..9999.
bool IsValidDate(int year, int month, int day);

// Valid: hour < 24, minute < 60, second < 60, ms < 1000.
bool IsValidTime(int hour, int minute, int second, int ms);

bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int ms, TDateTime& result);

// Splits a value; the time is rounded to the millisecond. A value outside
// years 1..9999, NaN or an infinity splits as 0 (30 December 1899, 00:00).
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& ms);

// Formats by a pattern: d dd m mm yy yyyy h hh n nn s ss z zzz (letters in any
// case); text between single or double quotes is copied literally; an
// unquoted '/' becomes the date separator and ':' the time separator; every
// other character is copied as it stands.
std::string FormatDateTime(const std::string& pattern, TDateTime value,
                           const FormatSettings& settings = DefaultFormatSettings());

#pragma once

#include <cstdint>
#include <string>

namespace zqsim {

// A wall-clock date and time without a time zone, as the device keeps it.
struct CivilTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;

    bool operator==(const CivilTime&) const = default;
};

// Seconds since 1970-01-01 00:00:00 of a civil time, counted as if every day
// had 86400 s (no zone, no leap seconds). Fields out of range are carried
// (month 13 is January of the next year), so the result is always defined.
int64_t ToCivilSeconds(const CivilTime& time);
CivilTime FromCivilSeconds(int64_t seconds);

// The host's local time as civil seconds.
int64_t HostCivilSeconds();

// True when the fields form a real date (proleptic Gregorian) and time.
bool IsValidCivil(const CivilTime& time);

int DaysInMonthOf(int year, int month);

// "2026-12-08T14:05:09" (or with a space instead of the T) -> time; false on
// anything else, including an invalid date.
bool ParseCivil(const std::string& text, CivilTime& time);

}  // namespace zqsim

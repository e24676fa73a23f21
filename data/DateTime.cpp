#include "DateTime.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int64_t kMsPerDay = 86400000;
// Day number of 30 December 1899 counted from 1 January 1970.
constexpr int64_t kEpochShift = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

// Values outside years 1..9999 (NaN and the infinities among them) split as
// 0: beyond that range the millisecond count and the calendar arithmetic
// overflow. Nothing the device sends produces them, a damaged settings file may.
constexpr double kFirstDay = -693594.0;  // exclusive: 0001-01-01 is -693593
constexpr double kLastDay = 2958466.0;   // exclusive: 10000-01-01

// Splits a value into a day number and the milliseconds of the day, rounding
// to the millisecond so that 23:59:59.9999 does not become 24:00:00.
void Split(TDateTime value, int64_t& dayNumber, int64_t& msOfDay) {
    if (!(value > kFirstDay && value < kLastDay)) {
        dayNumber = 0;
        msOfDay = 0;
        return;
    }
    if (value >= 0) {
        const int64_t total = std::llround(value * kMsPerDay);
        dayNumber = total / kMsPerDay;
        msOfDay = total % kMsPerDay;
        return;
    }
    // Before 1899-12-30 the whole part is the day and the fraction, taken
    // without its sign, the time of day.
    const double whole = std::trunc(value);
    dayNumber = static_cast<int64_t>(whole);
    msOfDay = std::llround(std::fabs(value - whole) * kMsPerDay);
    if (msOfDay >= kMsPerDay) {
        msOfDay = kMsPerDay - 1;
    }
}

void AppendNumber(std::string& out, int value, int minDigits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", minDigits, value);
    out += buf;
}

}  // namespace

FormatSettings& DefaultFormatSettings() {
    static FormatSettings settings;
    return settings;
}

void SetFormatSettingsFromLocale() {
    const char* locale = nullptr;
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* v = std::getenv(name);
        if (v != nullptr && *v != '\0') {
            locale = v;
            break;
        }
    }
    FormatSettings& s = DefaultFormatSettings();
    s.TimeSeparator = ':';
    const bool dotted = locale != nullptr &&
                        (std::strncmp(locale, "ru", 2) == 0 || std::strncmp(locale, "uk", 2) == 0 ||
                         std::strncmp(locale, "be", 2) == 0 || std::strncmp(locale, "de", 2) == 0);
    s.DateSeparator = dotted ? '.' : '/';
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        return 0;
    }
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

bool IsValidTime(int hour, int minute, int second, int ms) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
           ms >= 0 && ms < 1000;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (!IsValidDate(year, month, day)) {
        return false;
    }
    result = static_cast<double>(DaysFromCivil(year, month, day) + kEpochShift);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int ms, TDateTime& result) {
    if (!IsValidTime(hour, minute, second, ms)) {
        return false;
    }
    const int64_t total = ((hour * 60 + minute) * 60 + second) * 1000LL + ms;
    result = static_cast<double>(total) / kMsPerDay;
    return true;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    int64_t dayNumber = 0;
    int64_t msOfDay = 0;
    Split(value, dayNumber, msOfDay);
    CivilFromDays(dayNumber - kEpochShift, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& ms) {
    int64_t dayNumber = 0;
    int64_t msOfDay = 0;
    Split(value, dayNumber, msOfDay);
    ms = static_cast<int>(msOfDay % 1000);
    second = static_cast<int>(msOfDay / 1000 % 60);
    minute = static_cast<int>(msOfDay / 60000 % 60);
    hour = static_cast<int>(msOfDay / 3600000);
}

std::string FormatDateTime(const std::string& pattern, TDateTime value,
                           const FormatSettings& settings) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, ms);

    std::string out;
    size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c == '\'' || c == '"') {
            const size_t close = pattern.find(c, i + 1);
            const size_t end = close == std::string::npos ? pattern.size() : close;
            out.append(pattern, i + 1, end - i - 1);
            i = close == std::string::npos ? end : end + 1;
            continue;
        }
        if (c == '/') {
            out += settings.DateSeparator;
            ++i;
            continue;
        }
        if (c == ':') {
            out += settings.TimeSeparator;
            ++i;
            continue;
        }
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (std::strchr("dmyhnsz", lower) == nullptr) {
            out += c;
            ++i;
            continue;
        }
        size_t run = 1;
        while (i + run < pattern.size()) {
            const char next = pattern[i + run];
            const char nextLower =
                (next >= 'A' && next <= 'Z') ? static_cast<char>(next - 'A' + 'a') : next;
            if (nextLower != lower) {
                break;
            }
            ++run;
        }
        switch (lower) {
            case 'd':
                AppendNumber(out, day, run >= 2 ? 2 : 1);
                break;
            case 'm':
                AppendNumber(out, month, run >= 2 ? 2 : 1);
                break;
            case 'y':
                if (run >= 3) {
                    AppendNumber(out, year, 4);
                } else {
                    AppendNumber(out, ((year % 100) + 100) % 100, 2);
                }
                break;
            case 'h':
                AppendNumber(out, hour, run >= 2 ? 2 : 1);
                break;
            case 'n':
                AppendNumber(out, minute, run >= 2 ? 2 : 1);
                break;
            case 's':
                AppendNumber(out, second, run >= 2 ? 2 : 1);
                break;
            case 'z':
                AppendNumber(out, ms, run >= 3 ? 3 : 1);
                break;
        }
        i += run;
    }
    return out;
}

#include "CivilTime.h"

#include <cstdio>
#include <ctime>

namespace zqsim {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

int64_t ToCivilSeconds(const CivilTime& t) {
    // Carry the month first so that DaysFromCivil sees 1..12.
    const int64_t monthIndex = static_cast<int64_t>(t.year) * 12 + (t.month - 1);
    const int64_t year = FloorDiv(monthIndex, 12);
    const int64_t month = monthIndex - year * 12 + 1;
    const int64_t days = DaysFromCivil(year, month, 1) + (t.day - 1);
    return days * 86400 + static_cast<int64_t>(t.hour) * 3600 + t.minute * 60 + t.second;
}

CivilTime FromCivilSeconds(int64_t seconds) {
    int64_t z = FloorDiv(seconds, 86400);
    const int64_t secOfDay = seconds - z * 86400;
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    CivilTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
    t.hour = static_cast<int>(secOfDay / 3600);
    t.minute = static_cast<int>(secOfDay / 60 % 60);
    t.second = static_cast<int>(secOfDay % 60);
    return t;
}

int64_t HostCivilSeconds() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    CivilTime t{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour,        local.tm_min,     local.tm_sec > 59 ? 59 : local.tm_sec};
    return ToCivilSeconds(t);
}

int DaysInMonthOf(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        return 0;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

bool IsValidCivil(const CivilTime& t) {
    return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= DaysInMonthOf(t.year, t.month) &&
           t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 &&
           t.second < 60;
}

bool ParseCivil(const std::string& text, CivilTime& time) {
    CivilTime t;
    char sep = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &t.year, &t.month, &t.day, &sep,
                    &t.hour, &t.minute, &t.second, &used) != 7 ||
        static_cast<size_t>(used) != text.size() || (sep != 'T' && sep != ' ') ||
        !IsValidCivil(t)) {
        return false;
    }
    time = t;
    return true;
}

}  // namespace zqsim

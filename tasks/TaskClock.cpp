#include "TaskClock.h"

#include <chrono>
#include <ctime>

TDateTime LocalNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    TDateTime date = 0;
    TDateTime time = 0;
    TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, date);
    // A leap second (tm_sec 60) is shown as the last second of its minute.
    TryEncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec, ms, time);
    return date + time;
}

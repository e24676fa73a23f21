#include "ExchangeRecord.h"

#include <cstdio>
#include <ctime>

namespace {

std::string LocalTime(std::chrono::system_clock::time_point time) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
    const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(ms.count() % 1000));
    return text;
}

const char* DirectionText(ExchangeDirection direction) {
    switch (direction) {
        case ExchangeDirection::ToDevice:
            return "ПК → прибор";
        default:
            return "прибор → ПК";
    }
}

}  // namespace

std::string FormatExchangeLine(const ExchangeRecord& record) {
    std::string line = LocalTime(record.time) + "  " + DirectionText(record.direction) + "  #" +
                       std::to_string(record.packetId) + "  ";
    switch (record.direction) {
        case ExchangeDirection::Lost:
            line += "ответа нет";
            break;
        case ExchangeDirection::TimedOut:
            line += "ответ не пришёл вовремя";
            break;
        default: {
            line += std::to_string(record.bytes.size()) + " байт:";
            static const char kHex[] = "0123456789ABCDEF";
            for (uint8_t b : record.bytes) {
                line += ' ';
                line += kHex[b >> 4];
                line += kHex[b & 0x0F];
            }
            break;
        }
    }
    if (!record.verdict.empty()) {
        line += "  — " + record.verdict;
    }
    return line;
}

std::string FormatNoteLine(std::chrono::system_clock::time_point time, const std::string& text) {
    const std::string prefix = LocalTime(time) + "  ";
    std::string lines;
    size_t start = 0;
    while (true) {
        const size_t end = text.find('\n', start);
        lines += prefix + text.substr(start, end == std::string::npos ? end : end - start);
        if (end == std::string::npos) {
            return lines;
        }
        lines += '\n';
        start = end + 1;
    }
}

#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One line of the exchange log: a request sent, an answer received, or a
// request that got no answer, with what the task made of it.
enum class ExchangeDirection {
    ToDevice,    // a request went out
    FromDevice,  // an answer came back
    Lost,        // the channel reported the request's answer lost
    TimedOut,    // the task's own time-out ran out
};

struct ExchangeRecord {
    std::chrono::system_clock::time_point time;
    ExchangeDirection direction = ExchangeDirection::ToDevice;
    int packetId = 0;
    std::vector<uint8_t> bytes;  // the frame as sent or received; empty when lost
    std::string verdict;         // UTF-8; empty for a request
};

// Told on the GUI thread, in the order things happen.
using ExchangeEvent = std::function<void(const ExchangeRecord&)>;

// "hh:mm:ss.zzz  ПК → прибор  #3  8 байт: 01 04 ..." and likewise, in local
// time; the verdict follows a dash. The window's log and zqcli --verbose
// print exactly these.
std::string FormatExchangeLine(const ExchangeRecord& record);
// A text of the channel or the modem line with the local time in front of
// each of its lines (the lines stay separated by line feeds).
std::string FormatNoteLine(std::chrono::system_clock::time_point time, const std::string& text);

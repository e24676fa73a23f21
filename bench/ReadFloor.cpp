#include "ReadFloor.h"

#include <cmath>

double WireMs(size_t bytes, int baud) {
    return baud > 0 ? static_cast<double>(bytes) * 10.0 * 1000.0 / baud : 0.0;
}

WireDiscipline NetworkWire(double latencyMs, double rttMs) {
    WireDiscipline line;
    line.latencyMs = latencyMs;
    line.rttMs = rttMs;
    line.openSettleMs = 0;
    line.target = 1.02;
    return line;
}

double RequestFloorMs(const Exchange& exchange, const WireDiscipline& line) {
    return WireMs(exchange.request.size() + exchange.answer.size(), line.baud) + line.endGapMs +
           line.latencyMs + line.rttMs;
}

double WireFloorMs(const std::vector<Exchange>& exchanges, const WireDiscipline& line) {
    double ms = line.openSettleMs;
    for (const Exchange& e : exchanges) {
        ms += RequestFloorMs(e, line);
    }
    return ms;
}

double ExchangeCostMs(const Exchange& exchange, const TickDiscipline& line) {
    const size_t sent = exchange.request.size();
    return WireMs(sent + exchange.answer.size(), line.baud) +
           static_cast<double>(sent) * line.msPerByteSent + line.latencyMs + line.silenceMs +
           line.pauseMs;
}

TickDiscipline NetworkTicks(double latencyMs, double rttMs) {
    TickDiscipline line;
    line.latencyMs = latencyMs + rttMs;
    line.msPerByteSent = 0;
    line.silenceMs = 0;
    line.pauseMs = 0;
    line.openSettleMs = 1;  // one tick: the connection completes before the next
    return line;
}

int TicksToCover(double ms, double tickMs) {
    if (ms <= 0 || tickMs <= 0) {
        return 0;
    }
    // A cost that is a whole number of ticks up to rounding noise (300 ms of
    // settle time) ends on a tick, not just after it.
    return static_cast<int>(std::ceil(ms / tickMs - 1e-9));
}

bool ComputeTickFloor(const std::vector<TickAction>& actions,
                      const std::vector<Exchange>& exchanges, const TickDiscipline& line,
                      TickFloor& floor, std::string& error) {
    floor = TickFloor();
    size_t next = 0;
    for (size_t i = 0; i < actions.size(); ++i) {
        int ticks = 0;
        switch (actions[i]) {
            case TickAction::Nothing:
                ticks = 1;
                floor.nothingTicks += ticks;
                break;
            case TickAction::Open:
                ticks = TicksToCover(line.openSettleMs, line.tickMs);
                floor.openTicks += ticks;
                break;
            case TickAction::Request: {
                if (next >= exchanges.size()) {
                    error = "the task sent more requests than the device received (" +
                            std::to_string(exchanges.size()) + ")";
                    return false;
                }
                const Exchange& exchange = exchanges[next++];
                if (exchange.answer.empty()) {
                    error = "request " + std::to_string(next) + " got no answer";
                    return false;
                }
                const double cost = ExchangeCostMs(exchange, line);
                floor.requestCostMs += cost;
                ticks = TicksToCover(cost, line.tickMs);
                floor.requestTicks += ticks;
                break;
            }
            case TickAction::Close:
                if (i + 1 != actions.size()) {
                    error = "the close is not the last step";
                    return false;
                }
                break;
        }
        floor.actionTicks.push_back(ticks);
    }
    if (next != exchanges.size()) {
        error = "the device received " + std::to_string(exchanges.size()) +
                " requests, the task sent " + std::to_string(next);
        return false;
    }
    return true;
}

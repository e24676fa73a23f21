#include "AtDialer.h"

#include "TapiConstants.h"

#include <cctype>
#include <cstdlib>

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) {
        ++b;
    }
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) {
        --e;
    }
    return s.substr(b, e - b);
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

}  // namespace

std::string DialableNumber(const std::string& number) {
    std::string out;
    for (char c : number) {
        const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if ((u >= '0' && u <= '9') || u == '*' || u == '#' || u == '+' || u == ',' || u == 'W' ||
            u == 'P' || u == 'T' || u == '!' || u == '@') {
            out += u;
        }
    }
    return out;
}

AtDialer::AtDialer(std::string init, std::string dialable, int64_t noAnswerMs,
                   int64_t initTimeoutMs)
    : init(Trim(init).empty() ? std::string("ATZ") : Trim(init)),
      dialable(std::move(dialable)),
      noAnswerMs(noAnswerMs),
      initTimeoutMs(initTimeoutMs) {}

AtDialer::Output AtDialer::Start(int64_t nowMs) {
    Output out;
    if (phase != Phase::Idle) {
        return out;
    }
    phase = Phase::Init;
    phaseStartMs = nowMs;
    out.write = init + "\r";
    return out;
}

AtDialer::Output AtDialer::Disconnect(Output out) {
    phase = Phase::Disconnected;
    out.states.push_back(LINECALLSTATE_DISCONNECTED);
    return out;
}

AtDialer::Output AtDialer::OnLine(const std::string& raw, int64_t nowMs) {
    Output out;
    const std::string line = Trim(raw);
    if (line.empty() || Finished() || phase == Phase::Idle) {
        return out;
    }
    // Echoed commands come back when the modem echoes; they are not results.
    if (StartsWith(line, "AT") || StartsWith(line, "at")) {
        return out;
    }
    if (phase == Phase::Init) {
        if (line == "OK") {
            phase = Phase::Dialing;
            phaseStartMs = nowMs;
            out.write = "ATD" + dialable + "\r";
            out.states.push_back(LINECALLSTATE_DIALING);
            out.states.push_back(LINECALLSTATE_PROCEEDING);
            return out;
        }
        if (line == "ERROR" || line == "NO CARRIER" || line == "NO DIALTONE") {
            return Disconnect(out);
        }
        return out;
    }
    // Dialing.
    if (StartsWith(line, "CONNECT")) {
        phase = Phase::Connected;
        connectSpeed = std::atoi(line.c_str() + 7);
        out.states.push_back(LINECALLSTATE_CONNECTED);
        return out;
    }
    if (line == "BUSY") {
        out.states.push_back(LINECALLSTATE_BUSY);
        return Disconnect(out);
    }
    if (line == "NO CARRIER" || line == "NO ANSWER" || line == "NO DIALTONE" || line == "ERROR") {
        return Disconnect(out);
    }
    if (line == "RINGING" || line == "RING") {
        out.states.push_back(LINECALLSTATE_RINGBACK);
    }
    return out;
}

AtDialer::Output AtDialer::OnTime(int64_t nowMs) {
    Output out;
    if (phase == Phase::Init && nowMs - phaseStartMs >= initTimeoutMs) {
        return Disconnect(out);
    }
    if (phase == Phase::Dialing && nowMs - phaseStartMs >= noAnswerMs) {
        out.dropCall = true;
        return Disconnect(out);
    }
    return out;
}

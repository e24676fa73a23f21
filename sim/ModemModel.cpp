#include "ModemModel.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace zqsim {

namespace {

constexpr size_t kMaxLine = 255;
constexpr size_t kMaxSuspect = 64;
constexpr uint8_t kCr = '\r';
constexpr uint8_t kLf = '\n';

// Reads an optional decimal number at `i`; `fallback` when there is none.
int Number(const std::string& s, size_t& i, int fallback) {
    if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) {
        return fallback;
    }
    int value = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        value = std::min(value * 10 + (s[i] - '0'), 99999);
        ++i;
    }
    return value;
}

bool IsCommandLine(const std::string& s) {
    return s.size() >= 2 && std::toupper(static_cast<unsigned char>(s[0])) == 'A' &&
           std::toupper(static_cast<unsigned char>(s[1])) == 'T';
}

}  // namespace

std::string DialDigits(const std::string& number) {
    std::string digits;
    for (char c : number) {
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '*' || c == '#' || c == '+') {
            digits += c;
        }
    }
    return digits;
}

ModemModel::ModemModel(ModemSettings settings) : settings_(std::move(settings)) {}

void ModemModel::Reset() {
    state_ = State::Command;
    echo_ = true;
    line_.clear();
    sRegisters_.clear();
    dialDeadline_.reset();
    plusCount_ = 0;
    callRequests_ = 0;
    suspect_.clear();
}

void ModemModel::Result(const std::string& text, ModemOutput& out) {
    out.toLine += "\r\n" + text + "\r\n";
    out.notes.push_back("modem -> " + text);
}

void ModemModel::EndCall(const std::string& why, ModemOutput& out) {
    state_ = State::Command;
    plusCount_ = 0;
    suspect_.clear();
    out.notes.push_back("modem: call ended (" + why + ")");
}

bool ModemModel::Listed(const std::vector<std::string>& numbers, const std::string& number) const {
    return std::any_of(numbers.begin(), numbers.end(),
                       [&](const std::string& n) { return DialDigits(n) == number; });
}

void ModemModel::Receive(const uint8_t* data, size_t length, SimTime now, ModemOutput& out) {
    for (size_t i = 0; i < length; ++i) {
        const uint8_t b = data[i];
        switch (state_) {
            case State::Dialing:
                // Any byte aborts the dial; it also starts the next command line.
                dialDeadline_.reset();
                state_ = State::Command;
                out.notes.push_back("modem: dial aborted by the host");
                Result("NO CARRIER", out);
                CommandByte(b, now, out);
                break;
            case State::Online:
                DataByte(b, now, out);
                break;
            case State::Command:
            case State::OnlineCommand:
                CommandByte(b, now, out);
                break;
        }
    }
}

void ModemModel::CommandByte(uint8_t b, SimTime now, ModemOutput& out) {
    if (echo_) {
        out.toLine += static_cast<char>(b);
    }
    if (b == kCr) {
        const std::string line = line_;
        line_.clear();
        if (IsCommandLine(line)) {
            out.notes.push_back("modem <- " + line);
            ExecuteLine(line.substr(2), now, out);
        }
    } else if (b == 0x08 || b == 0x7F) {
        if (!line_.empty()) {
            line_.pop_back();
        }
    } else if (b != kLf && line_.size() < kMaxLine) {
        line_ += static_cast<char>(b);
    }
}

void ModemModel::DataByte(uint8_t b, SimTime now, ModemOutput& out) {
    const bool afterGuard = now - lastRx_ >= std::chrono::milliseconds(settings_.guardMs);
    lastRx_ = now;
    out.toDevice.push_back(b);
    // Escape: guard time, "+++" with less than the guard time between the
    // characters, then the guard time again (checked by Poll).
    if (plusCount_ > 0) {
        if (b == '+' && plusCount_ < 3) {
            if (++plusCount_ == 3) {
                escapeAt_ = now;
            }
        } else {
            plusCount_ = 0;
        }
    } else if (b == '+' && afterGuard) {
        plusCount_ = 1;
    }
    // A command line after a pause: the host lost the call without us seeing DTR.
    if (afterGuard && (b == 'A' || b == 'a')) {
        suspect_ = "A";
        return;
    }
    if (suspect_.empty()) {
        return;
    }
    if (b == kCr && IsCommandLine(suspect_)) {
        const std::string line = suspect_;
        EndCall("command line in a call: the host dropped DTR", out);
        if (echo_) {
            out.toLine += line + "\r";
        }
        out.notes.push_back("modem <- " + line);
        ExecuteLine(line.substr(2), now, out);
    } else if (b < 0x20 || b > 0x7E || suspect_.size() >= kMaxSuspect) {
        suspect_.clear();
    } else {
        suspect_ += static_cast<char>(b);
    }
}

void ModemModel::ExecuteLine(const std::string& body, SimTime now, ModemOutput& out) {
    std::string s;
    for (char c : body) {
        if (c != ' ') {
            s += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    std::string info;
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i++];
        switch (c) {
            case 'D':
                Dial(s.substr(i), now, out);
                return;
            case 'E': {
                const int v = Number(s, i, 0);
                if (v > 1) {
                    Result("ERROR", out);
                    return;
                }
                echo_ = v == 1;
                break;
            }
            case 'H':
                if (Number(s, i, 0) == 0 && state_ == State::OnlineCommand) {
                    EndCall("ATH", out);
                }
                break;
            case 'Z': {
                Number(s, i, 0);
                if (state_ == State::OnlineCommand) {
                    EndCall("ATZ", out);
                }
                echo_ = true;
                sRegisters_.clear();
                break;
            }
            case 'O':
                Number(s, i, 0);
                if (state_ == State::OnlineCommand) {
                    state_ = State::Online;
                    Result("CONNECT " + std::to_string(settings_.connectRate), out);
                } else {
                    Result("NO CARRIER", out);
                }
                return;
            case 'I':
                Number(s, i, 0);
                info += "\r\nZQSIM modem\r\n";
                break;
            case 'S': {
                const int reg = Number(s, i, -1);
                if (reg < 0 || i >= s.size()) {
                    Result("ERROR", out);
                    return;
                }
                if (s[i] == '?') {
                    ++i;
                    char text[16];
                    std::snprintf(text, sizeof text, "%03d", sRegisters_[reg]);
                    info += "\r\n" + std::string(text) + "\r\n";
                } else if (s[i] == '=') {
                    ++i;
                    sRegisters_[reg] = Number(s, i, 0);
                } else {
                    Result("ERROR", out);
                    return;
                }
                break;
            }
            case '&': {
                if (i >= s.size() || !std::isalpha(static_cast<unsigned char>(s[i]))) {
                    Result("ERROR", out);
                    return;
                }
                const char what = s[i++];
                Number(s, i, 0);
                if (what == 'F') {
                    echo_ = true;
                    sRegisters_.clear();
                }
                break;
            }
            case 'V':
            case 'Q':
            case 'X':
            case 'L':
            case 'M':
            case 'B':
            case 'N':
            case 'W':
            case 'Y':
            case 'P':
            case 'T':
                Number(s, i, 0);
                break;
            default:
                Result("ERROR", out);
                return;
        }
    }
    out.toLine += info;
    Result("OK", out);
}

void ModemModel::Dial(const std::string& dialString, SimTime now, ModemOutput& out) {
    if (state_ == State::OnlineCommand) {
        Result("ERROR", out);
        return;
    }
    const std::string number = DialDigits(dialString);
    if (number.empty()) {
        Result("ERROR", out);
        return;
    }
    out.notes.push_back("modem: dialling " + number);
    if (settings_.noDialtone) {
        Result("NO DIALTONE", out);
        return;
    }
    state_ = State::Dialing;
    dialled_ = number;
    const SimTime ring = now + std::chrono::milliseconds(settings_.ringDelayMs);
    if (Listed(settings_.busy, number)) {
        outcome_ = Outcome::Busy;
        dialDeadline_ = ring;
    } else if (Listed(settings_.noAnswer, number)) {
        outcome_ = Outcome::NoAnswer;
        dialDeadline_.reset();
        if (settings_.noAnswerAfterMs > 0) {
            dialDeadline_ = now + std::chrono::milliseconds(settings_.noAnswerAfterMs);
        }
    } else if (settings_.answer.empty() || Listed(settings_.answer, number)) {
        outcome_ = Outcome::Connect;
        dialDeadline_ = ring;
    } else {
        outcome_ = Outcome::NoCarrier;  // nobody's modem at that number
        dialDeadline_ = ring;
    }
}

void ModemModel::Poll(SimTime now, ModemOutput& out) {
    if (state_ == State::Dialing && dialDeadline_ && now >= *dialDeadline_) {
        dialDeadline_.reset();
        switch (outcome_) {
            case Outcome::Connect:
                state_ = State::Online;
                connectedAt_ = now;
                lastRx_ = now;
                plusCount_ = 0;
                callRequests_ = 0;
                suspect_.clear();
                Result("CONNECT " + std::to_string(settings_.connectRate), out);
                break;
            case Outcome::Busy:
                state_ = State::Command;
                Result("BUSY", out);
                break;
            case Outcome::NoAnswer:
                state_ = State::Command;
                Result("NO ANSWER", out);
                break;
            case Outcome::NoCarrier:
                state_ = State::Command;
                Result("NO CARRIER", out);
                break;
        }
    }
    const auto guard = std::chrono::milliseconds(settings_.guardMs);
    if (state_ == State::Online && plusCount_ == 3 && now - escapeAt_ >= guard) {
        plusCount_ = 0;
        state_ = State::OnlineCommand;
        out.notes.push_back("modem: escape to command mode");
        Result("OK", out);
    }
    const bool inCall = state_ == State::Online || state_ == State::OnlineCommand;
    if (inCall && settings_.dropAfterMs > 0 &&
        now - connectedAt_ >= std::chrono::milliseconds(settings_.dropAfterMs)) {
        EndCall("carrier lost after " + std::to_string(settings_.dropAfterMs) + " ms", out);
        out.hangUp = true;
    }
}

std::optional<SimTime> ModemModel::NextDeadline() const {
    std::optional<SimTime> next;
    auto consider = [&next](SimTime t) {
        if (!next || t < *next) {
            next = t;
        }
    };
    if (state_ == State::Dialing && dialDeadline_) {
        consider(*dialDeadline_);
    }
    if (state_ == State::Online && plusCount_ == 3) {
        consider(escapeAt_ + std::chrono::milliseconds(settings_.guardMs));
    }
    if ((state_ == State::Online || state_ == State::OnlineCommand) && settings_.dropAfterMs > 0) {
        consider(connectedAt_ + std::chrono::milliseconds(settings_.dropAfterMs));
    }
    return next;
}

bool ModemModel::RequestArrives(ModemOutput& out) {
    if (state_ != State::Online) {
        return false;
    }
    ++callRequests_;
    if (settings_.dropAfterRequests > 0 && callRequests_ > settings_.dropAfterRequests) {
        EndCall("carrier lost after " + std::to_string(settings_.dropAfterRequests) + " requests",
                out);
        out.hangUp = true;
        return true;
    }
    return false;
}

}  // namespace zqsim

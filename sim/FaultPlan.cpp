#include "FaultPlan.h"

#include "DeviceModel.h"

#include <algorithm>
#include <cstdlib>

namespace zqsim {

namespace {

struct KindName {
    FaultKind kind;
    const char* name;
};

const KindName kKindNames[] = {{FaultKind::Drop, "drop"},           {FaultKind::Crc, "crc"},
                               {FaultKind::Truncate, "truncate"},   {FaultKind::Garbage, "garbage"},
                               {FaultKind::Exception, "exception"}, {FaultKind::Empty, "empty"},
                               {FaultKind::WrongKind, "kind"},      {FaultKind::Rings, "rings"},
                               {FaultKind::Echo, "echo"},           {FaultKind::Late, "late"}};

// Archive answer: address, 65, kind, one byte, next index (2), n, records.
constexpr size_t kArchiveHeader = 7;
// Ring registers 6..17 of the input block: data bytes 12..35 after the
// address, the function and the byte count.
constexpr size_t kRingsEnd = 3 + 2 * 18;

// The function a content fault needs in a (non-exception) answer, and the
// least length; 0 for the line faults, which take any answer.
int ContentFunction(FaultKind kind) {
    switch (kind) {
        case FaultKind::Empty:
        case FaultKind::WrongKind:
            return 65;
        case FaultKind::Rings:
            return 4;
        case FaultKind::Echo:
            return 16;
        default:
            return 0;
    }
}

size_t ContentLength(FaultKind kind) {
    switch (kind) {
        case FaultKind::Empty:
        case FaultKind::WrongKind:
            return kArchiveHeader + 2;
        case FaultKind::Rings:
            return kRingsEnd + 2;
        case FaultKind::Echo:
            return 8;
        default:
            return 0;
    }
}

void PutBe16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

// Replaces the CRC of a frame changed in place.
void RenewCrc(std::vector<uint8_t>& frame) {
    frame.resize(frame.size() - 2);
    AppendCrc(frame);
}

bool ParseNumber(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size();
}

bool ParseInt(const std::string& text, long lo, long hi, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || end != text.c_str() + text.size() || v < lo || v > hi) {
        return false;
    }
    value = static_cast<int>(v);
    return true;
}

}  // namespace

const char* FaultName(FaultKind kind) {
    for (const KindName& k : kKindNames) {
        if (k.kind == kind) {
            return k.name;
        }
    }
    return "?";
}

bool FaultRule::Parse(const std::string& text, FaultRule& rule, std::string& error) {
    FaultRule r;
    const size_t colon = text.find(':');
    const std::string kindText = text.substr(0, colon);
    bool known = false;
    for (const KindName& k : kKindNames) {
        if (kindText == k.name) {
            r.kind = k.kind;
            known = true;
        }
    }
    if (!known) {
        error = "unknown fault kind '" + kindText + "'";
        return false;
    }
    bool probabilityGiven = false;
    bool countGiven = false;
    // After a colon: one or more KEY=VALUE items, none empty.
    size_t at = colon == std::string::npos ? text.size() : colon + 1;
    while (at <= text.size() && colon != std::string::npos) {
        const size_t comma = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, comma - at);
        at = comma + 1;
        const size_t eq = item.find('=');
        const std::string key = item.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : item.substr(eq + 1);
        bool ok = true;
        if (key == "p") {
            ok = ParseNumber(value, r.probability) && r.probability >= 0 && r.probability <= 1;
            probabilityGiven = true;
        } else if (key == "n") {
            ok = ParseInt(value, 0, 1000000000, r.count);
            countGiven = true;
        } else if (key == "from") {
            ok = ParseInt(value, 1, 1000000000, r.from);
        } else if (key == "fn") {
            ok = ParseInt(value, 0, 255, r.function);
        } else if (key == "code") {
            int code = 0;
            ok = ParseInt(value, 0, 255, code);
            r.code = static_cast<uint8_t>(code);
        } else if (key == "ms") {
            ok = ParseInt(value, 0, 3600000, r.holdMs);
        } else {
            ok = false;
        }
        if (!ok) {
            error = "bad fault setting '" + item + "' in '" + text + "'";
            return false;
        }
    }
    if (countGiven && !probabilityGiven) {
        r.probability = 1.0;
    }
    rule = r;
    return true;
}

FaultPlan::FaultPlan(std::vector<FaultRule> rules, uint64_t seed)
    : rules_(std::move(rules)), used_(rules_.size(), 0), engine_(seed ^ 0x9E3779B97F4A7C15ull) {}

double FaultPlan::Unit() {
    return static_cast<double>(engine_() >> 11) * 0x1.0p-53;
}

bool FaultPlan::Strikes(FaultRule& rule, int used, int requestNumber,
                        const std::vector<uint8_t>& answer) {
    const int function = answer[1] & 0x7F;
    if (requestNumber < rule.from || (rule.function >= 0 && rule.function != function) ||
        (rule.count >= 0 && used >= rule.count)) {
        return false;
    }
    const int content = ContentFunction(rule.kind);
    if (content != 0 && (answer[1] != content || answer.size() < ContentLength(rule.kind) ||
                         (rule.kind == FaultKind::Rings && answer[2] < kRingsEnd - 3))) {
        return false;
    }
    return rule.probability >= 1.0 || Unit() < rule.probability;
}

void FaultPlan::Apply(int requestNumber, std::vector<uint8_t>& answer,
                      std::vector<std::string>& applied, int* holdMs) {
    if (holdMs != nullptr) {
        *holdMs = 0;
    }
    int held = 0;
    if (answer.size() < 2) {
        return;
    }
    // A rule after a drop or a cut to one byte has nothing left to work on.
    for (size_t i = 0; i < rules_.size() && answer.size() >= 2; ++i) {
        FaultRule& rule = rules_[i];
        if (!Strikes(rule, used_[i], requestNumber, answer)) {
            continue;
        }
        ++used_[i];
        applied.push_back(FaultName(rule.kind));
        switch (rule.kind) {
            case FaultKind::Drop:
                answer.clear();
                break;
            case FaultKind::Exception:
                answer = DeviceModel::ExceptionAnswer(answer[0], answer[1] & 0x7F, rule.code);
                break;
            case FaultKind::Garbage: {
                std::vector<uint8_t> prefix(1 + engine_() % 8);
                for (uint8_t& b : prefix) {
                    b = static_cast<uint8_t>(engine_());
                }
                answer.insert(answer.begin(), prefix.begin(), prefix.end());
                break;
            }
            case FaultKind::Truncate:
                answer.resize(1 + engine_() % (answer.size() - 1));
                break;
            case FaultKind::Crc:
                answer.back() ^= static_cast<uint8_t>(1 + engine_() % 255);
                break;
            case FaultKind::Empty:
                // The header alone, announcing no records.
                answer.resize(kArchiveHeader);
                answer[6] = 0;
                AppendCrc(answer);
                break;
            case FaultKind::WrongKind:
                answer[2] = static_cast<uint8_t>((answer[2] + 1) % 4);
                RenewCrc(answer);
                break;
            case FaultKind::Rings:
                // Every ring a single slot (h = 0) whose oldest index is 2:
                // outside the ring, and a 16-bit count of 65535.
                for (int ring = 0; ring < 4; ++ring) {
                    uint8_t* regs = answer.data() + 3 + 2 * (6 + 3 * ring);
                    PutBe16(regs, 0);
                    PutBe16(regs + 2, 2);
                    PutBe16(regs + 4, 0);
                }
                RenewCrc(answer);
                break;
            case FaultKind::Echo:
                // The echo names the register after the one written first.
                PutBe16(answer.data() + 2,
                        static_cast<uint16_t>(((answer[2] << 8) | answer[3]) + 1));
                RenewCrc(answer);
                break;
            case FaultKind::Late:
                held += rule.holdMs;
                break;
        }
    }
    if (holdMs != nullptr) {
        *holdMs = held;
    }
}

}  // namespace zqsim

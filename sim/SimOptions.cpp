#include "SimOptions.h"

#include "SimLog.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <type_traits>

namespace zqsim {

namespace {

constexpr int kMaxFleet = 10000;

const char* const kRingNames[kRingKinds] = {"hour", "day", "month", "journal"};
constexpr int kDefaultRecords[kRingKinds] = {168, 62, 24, 64};
constexpr int kDefaultSize[kRingKinds] = {2048, 512, 128, 1024};

// Ring settings as given; -1 = not given.
struct RingArgs {
    int records[kRingKinds] = {kDefaultRecords[0], kDefaultRecords[1], kDefaultRecords[2],
                               kDefaultRecords[3]};
    int size[kRingKinds] = {-1, -1, -1, -1};
    int oldest[kRingKinds] = {-1, -1, -1, -1};
    bool wrap = false;
};

bool ToInt(const std::string& text, long long lo, long long hi, long long& value) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size() || v < lo || v > hi) {
        return false;
    }
    value = v;
    return true;
}

bool ToDouble(const std::string& text, double lo, double hi, double& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v) || v < lo || v > hi) {
        return false;
    }
    value = v;
    return true;
}

// The network options as given, checked together at the end.
struct NetArgs {
    std::string listen;
    std::string connect;
};

// The C escapes \r \n \t \\ and \xHH (one or two hex digits) resolved; false on
// any other escape or a backslash at the end.
bool Unescape(const std::string& text, std::string& out) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            result += text[i];
            continue;
        }
        if (++i >= text.size()) {
            return false;
        }
        switch (text[i]) {
            case 'r':
                result += '\r';
                break;
            case 'n':
                result += '\n';
                break;
            case 't':
                result += '\t';
                break;
            case '\\':
                result += '\\';
                break;
            case 'x': {
                int value = 0;
                int digits = 0;
                while (digits < 2 && i + 1 < text.size() && HexDigit(text[i + 1]) >= 0) {
                    value = value * 16 + HexDigit(text[++i]);
                    ++digits;
                }
                if (digits == 0) {
                    return false;
                }
                result += static_cast<char>(value);
                break;
            }
            default:
                return false;
        }
    }
    out = result;
    return true;
}

struct OptionDef {
    const char* name;
    bool takesValue;
    // Returns false when the value is bad.
    std::function<bool(const std::string&)> apply;
};

std::vector<OptionDef> Definitions(SimOptions& o, RingArgs& rings, NetArgs& net, bool& help,
                                   bool& version) {
    auto integer = [](auto& field, long long lo, long long hi) {
        return [&field, lo, hi](const std::string& v) {
            long long x = 0;
            if (!ToInt(v, lo, hi, x)) {
                return false;
            }
            field = static_cast<std::remove_reference_t<decltype(field)>>(x);
            return true;
        };
    };
    auto millis = [](int& field, double maxSeconds) {
        return [&field, maxSeconds](const std::string& v) {
            double s = 0;
            if (!ToDouble(v, 0, maxSeconds, s)) {
                return false;
            }
            field = static_cast<int>(std::lround(s * 1000));
            return true;
        };
    };
    auto flag = [](bool& field) {
        return [&field](const std::string&) {
            field = true;
            return true;
        };
    };
    auto text = [](std::string& field) {
        return [&field](const std::string& v) {
            field = v;
            return !v.empty();
        };
    };
    auto list = [](std::vector<std::string>& field) {
        return [&field](const std::string& v) {
            if (DialDigits(v).empty()) {
                return false;
            }
            field.push_back(v);
            return true;
        };
    };
    DeviceSettings& d = o.deviceSettings;
    ContentOptions& c = o.content;
    ModemSettings& m = o.modemSettings;
    std::vector<OptionDef> defs = {
        {"--help", false, flag(help)},
        {"--version", false, flag(version)},
        {"--pty", false,
         [&o](const std::string&) {
             o.devicePath.clear();
             return true;
         }},
        {"--device", true, text(o.devicePath)},
        {"--link", true, text(o.link)},
        {"--baud", true, integer(o.baud, 0, 4000000)},
        {"--latency", true, integer(o.latencyMs, 0, 60000)},
        {"--exit-after-idle", true,
         [&o](const std::string& v) { return ToDouble(v, 0, 1e9, o.exitAfterIdleSeconds); }},
        {"--exit-on-hangup", false, flag(o.exitOnHangup)},
        {"--log", false, flag(o.log)},
        {"--log-file", true,
         [&o](const std::string& v) {
             o.log = true;
             o.logFile = v;
             return !v.empty();
         }},
        {"--dump", true, text(o.dumpFile)},
        {"--address", true,
         [&o](const std::string& v) {
             o.addresses.clear();
             size_t at = 0;
             for (;;) {
                 const size_t comma = v.find(',', at);
                 long long x = 0;
                 if (!ToInt(v.substr(at, comma - at), 1, 254, x)) {
                     return false;
                 }
                 o.addresses.push_back(static_cast<uint8_t>(x));
                 if (comma == std::string::npos) {
                     return true;
                 }
                 at = comma + 1;
             }
         }},
        {"--device-version", true, integer(d.version, 0, 255)},
        {"--max-records", true, integer(d.maxRecords, 1, 255)},
        {"--clock", true, [&d](const std::string& v) { return ParseCivil(v, d.clock); }},
        {"--frozen-clock", false, flag(d.frozenClock)},
        {"--flow-settle", true, integer(d.flowSettleSeconds, 0, 86400)},
        {"--seed", true,
         [&c](const std::string& v) {
             long long x = 0;
             if (!ToInt(v, 0, 9223372036854775807LL, x)) {
                 return false;
             }
             c.seed = static_cast<uint64_t>(x);
             return true;
         }},
        {"--serial", true, integer(c.serial, 0, 4294967295LL)},
        {"--ns-flags", true, integer(c.nsFlags, 0, 255)},
        {"--du-index", true, integer(c.duIndex, 0, 65535)},
        {"--empty-slots", true,
         [&c](const std::string& v) { return ToDouble(v, 0, 1, c.emptyProbability); }},
        {"--empty-count", true, integer(c.emptyCount, 0, 65535)},
        {"--wrap", false, flag(rings.wrap)},
        {"--later", true, integer(c.laterDays, 0, 3650)},
        {"--fault", true,
         [&o](const std::string& v) {
             FaultRule rule;
             std::string ignored;
             if (!FaultRule::Parse(v, rule, ignored)) {
                 return false;
             }
             o.faults.push_back(rule);
             return true;
         }},
        {"--stop-after", true, integer(o.stopAfter, 0, 1000000000)},
        {"--hangup-after", true, integer(o.hangupAfter, 0, 1000000000)},
        {"--modem", false, flag(o.modem)},
        {"--answer", true, list(m.answer)},
        {"--busy", true, list(m.busy)},
        {"--no-answer", true, list(m.noAnswer)},
        {"--no-answer-after", true, millis(m.noAnswerAfterMs, 86400)},
        {"--no-dialtone", false, flag(m.noDialtone)},
        {"--ring-delay", true, integer(m.ringDelayMs, 0, 600000)},
        {"--guard-time", true, integer(m.guardMs, 20, 60000)},
        {"--drop-after-seconds", true, millis(m.dropAfterMs, 86400)},
        {"--drop-after-requests", true, integer(m.dropAfterRequests, 0, 1000000000)},
        {"--answer-delay", true, integer(o.answerDelayMs, 0, 60000)},
        {"--segment", true,
         [&o](const std::string& v) {
             const size_t colon = v.find(':');
             long long bytes = 0;
             long long gap = 0;
             if (colon == std::string::npos || !ToInt(v.substr(0, colon), 1, 65535, bytes) ||
                 !ToInt(v.substr(colon + 1), 0, 60000, gap)) {
                 return false;
             }
             o.segmentBytes = static_cast<int>(bytes);
             o.segmentGapMs = static_cast<int>(gap);
             return true;
         }},
        {"--tcp-listen", true, text(net.listen)},
        {"--tcp-connect", true, text(net.connect)},
        {"--banner", true,
         [&o](const std::string& v) { return Unescape(v, o.banner) && !o.banner.empty(); }},
        {"--tcp-mute", false, flag(o.tcpMute)},
        {"--tcp-drop-after", true, integer(o.tcpDropAfter, 0, 1000000000)},
        {"--fleet", true, integer(o.fleet, 1, kMaxFleet)},
        {"--fleet-refuse", true, integer(o.fleetRefuse, 0, kMaxFleet)},
        {"--fleet-mute", true, integer(o.fleetMute, 0, kMaxFleet)},
    };
    return defs;
}

// Per-ring options: --hour N, --hour-ring SIZE, --hour-oldest INDEX, and so on.
struct RingOption {
    std::string name;
    int kind;
    int what;  // 0 records, 1 size, 2 oldest
};

std::vector<RingOption> RingOptions() {
    std::vector<RingOption> list;
    for (int k = 0; k < kRingKinds; ++k) {
        const std::string base = std::string("--") + kRingNames[k];
        list.push_back({base, k, 0});
        list.push_back({base + "-ring", k, 1});
        list.push_back({base + "-oldest", k, 2});
    }
    return list;
}

bool FinishRings(const RingArgs& args, ContentOptions& content, std::string& error) {
    for (int k = 0; k < kRingKinds; ++k) {
        RingLayout& layout = content.rings[k];
        layout.records = args.records[k];
        layout.size =
            args.size[k] >= 0 ? args.size[k] : std::max(kDefaultSize[k], layout.records + 1);
        if (layout.records >= layout.size) {
            error = std::string("--") + kRingNames[k] + " " + std::to_string(layout.records) +
                    " records need a ring of more than " + std::to_string(layout.records) +
                    " slots";
            return false;
        }
        if (args.oldest[k] >= 0) {
            layout.oldest = args.oldest[k];
        } else if (args.wrap && layout.records > 0) {
            // Half the records before the end of the ring, half after it.
            layout.oldest = layout.size - std::max(1, layout.records / 2);
        } else {
            layout.oldest = 0;
        }
        if (layout.oldest >= layout.size) {
            error = std::string("--") + kRingNames[k] + "-oldest must be below the ring size " +
                    std::to_string(layout.size);
            return false;
        }
    }
    return true;
}

bool FinishNet(const NetArgs& args, SimOptions& o, std::string& error) {
    if (!args.listen.empty() && !args.connect.empty()) {
        error = "--tcp-listen and --tcp-connect exclude each other";
        return false;
    }
    const bool listening = !args.listen.empty();
    if (listening || !args.connect.empty()) {
        const char* name = listening ? "--tcp-listen" : "--tcp-connect";
        std::string why;
        if (!ParseNetAddress(listening ? args.listen : args.connect, listening, o.net, why)) {
            error = std::string("bad value for ") + name + ": " + why;
            return false;
        }
        const char* lineOption = !o.devicePath.empty() ? "--device"
                                 : !o.link.empty()     ? "--link"
                                 : o.modem             ? "--modem"
                                                       : nullptr;
        if (lineOption != nullptr) {
            error = std::string(lineOption) + " is for the line, not for " + name;
            return false;
        }
        return true;
    }
    const char* netOption = !o.banner.empty()    ? "--banner"
                            : o.tcpMute          ? "--tcp-mute"
                            : o.tcpDropAfter > 0 ? "--tcp-drop-after"
                                                 : nullptr;
    if (netOption != nullptr) {
        error = std::string(netOption) + " needs --tcp-listen or --tcp-connect";
        return false;
    }
    return true;
}

// Several devices on the line, or a fleet: the addresses, the serial numbers
// that follow the first, and what a fleet cannot be combined with.
bool FinishDevices(SimOptions& o, std::string& error) {
    std::vector<bool> seen(256, false);
    for (const uint8_t address : o.addresses) {
        if (seen[address]) {
            error = "--address " + std::to_string(address) + " is given twice";
            return false;
        }
        seen[address] = true;
    }
    o.deviceSettings.address = o.addresses.front();
    const int64_t devices = o.fleet > 0 ? o.fleet : static_cast<int64_t>(o.addresses.size());
    if (o.content.serial + devices - 1 > 4294967295LL) {
        error = "--serial " + std::to_string(o.content.serial) + " leaves no serial number for " +
                std::to_string(devices) + " devices";
        return false;
    }
    if (o.fleet == 0) {
        if (o.fleetRefuse > 0 || o.fleetMute > 0) {
            error = std::string(o.fleetRefuse > 0 ? "--fleet-refuse" : "--fleet-mute") +
                    " needs --fleet";
            return false;
        }
        return true;
    }
    if (o.net.mode != NetSettings::Mode::Listen) {
        error = "--fleet needs --tcp-listen";
        return false;
    }
    const char* other = o.addresses.size() > 1       ? "several addresses"
                        : !o.dumpFile.empty()        ? "--dump"
                        : o.exitAfterIdleSeconds > 0 ? "--exit-after-idle"
                        : o.exitOnHangup             ? "--exit-on-hangup"
                                                     : nullptr;
    if (other != nullptr) {
        error = std::string("--fleet does not take ") + other;
        return false;
    }
    if (o.fleetRefuse + o.fleetMute > o.fleet) {
        error = "--fleet-refuse and --fleet-mute count more devices than --fleet " +
                std::to_string(o.fleet);
        return false;
    }
    if (o.net.port > 0 && o.net.port + o.fleet - 1 > 65535) {
        error = "--fleet " + std::to_string(o.fleet) + " from port " + std::to_string(o.net.port) +
                " runs past port 65535";
        return false;
    }
    return true;
}

}  // namespace

std::vector<std::string> SimOptionNames() {
    SimOptions o;
    RingArgs rings;
    NetArgs net;
    bool help = false;
    bool version = false;
    std::vector<std::string> names;
    for (const OptionDef& def : Definitions(o, rings, net, help, version)) {
        if (def.name != nullptr) {
            names.push_back(def.name);
        }
    }
    for (const RingOption& r : RingOptions()) {
        names.push_back(r.name);
    }
    return names;
}

ParseOutcome ParseSimOptions(const std::vector<std::string>& args, SimOptions& options,
                             std::string& error) {
    SimOptions o;
    RingArgs rings;
    NetArgs net;
    bool help = false;
    bool version = false;
    const std::vector<OptionDef> defs = Definitions(o, rings, net, help, version);
    const std::vector<RingOption> ringOptions = RingOptions();
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        const size_t eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (inlineValue) {
                return true;
            }
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        bool matched = false;
        for (const OptionDef& def : defs) {
            if (def.name == nullptr || name != def.name) {
                continue;
            }
            matched = true;
            if (def.takesValue && !takeValue()) {
                return ParseOutcome::Error;
            }
            if (!def.takesValue && inlineValue) {
                error = name + " takes no value";
                return ParseOutcome::Error;
            }
            if (!def.apply(value)) {
                error = "bad value for " + name + ": '" + value + "'";
                FaultRule unused;
                if (name == "--fault") {
                    FaultRule::Parse(value, unused, error);
                }
                return ParseOutcome::Error;
            }
        }
        for (const RingOption& r : ringOptions) {
            if (name != r.name) {
                continue;
            }
            matched = true;
            if (!takeValue()) {
                return ParseOutcome::Error;
            }
            long long x = 0;
            const long long lo = r.what == 1 ? 1 : 0;
            const long long hi = r.what == 1 ? 65536 : 65535;
            if (!ToInt(value, lo, hi, x)) {
                error = "bad value for " + name + ": '" + value + "'";
                return ParseOutcome::Error;
            }
            int* fields[3] = {rings.records, rings.size, rings.oldest};
            fields[r.what][r.kind] = static_cast<int>(x);
        }
        if (!matched) {
            error = "unknown option '" + args[i] + "' (see --help)";
            return ParseOutcome::Error;
        }
    }
    if (help) {
        return ParseOutcome::Help;
    }
    if (version) {
        return ParseOutcome::Version;
    }
    if (!FinishRings(rings, o.content, error) || !FinishNet(net, o, error) ||
        !FinishDevices(o, error)) {
        return ParseOutcome::Error;
    }
    o.modemSettings.connectRate = o.baud > 0 ? o.baud : 19200;
    options = o;
    return ParseOutcome::Run;
}

}  // namespace zqsim

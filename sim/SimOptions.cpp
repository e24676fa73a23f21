#include "SimOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <type_traits>

namespace zqsim {

namespace {

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

struct OptionDef {
    const char* name;
    bool takesValue;
    // Returns false when the value is bad.
    std::function<bool(const std::string&)> apply;
};

std::vector<OptionDef> Definitions(SimOptions& o, RingArgs& rings, bool& help, bool& version) {
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
        {"--address", true, integer(d.address, 1, 254)},
        {"--device-version", true, integer(d.version, 0, 255)},
        {"--max-records", true, integer(d.maxRecords, 1, 255)},
        {"--clock", true, [&d](const std::string& v) { return ParseCivil(v, d.clock); }},
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

}  // namespace

std::vector<std::string> SimOptionNames() {
    SimOptions o;
    RingArgs rings;
    bool help = false;
    bool version = false;
    std::vector<std::string> names;
    for (const OptionDef& def : Definitions(o, rings, help, version)) {
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
    bool help = false;
    bool version = false;
    const std::vector<OptionDef> defs = Definitions(o, rings, help, version);
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
    if (!FinishRings(rings, o.content, error)) {
        return ParseOutcome::Error;
    }
    o.modemSettings.connectRate = o.baud > 0 ? o.baud : 19200;
    options = o;
    return ParseOutcome::Run;
}

std::string SimUsage() {
    return R"(Usage: zqsim [OPTION]...
A simulated ZQ flow-meter device (Modbus RTU, functions 3, 4, 16, 17, 65),
optionally behind a simulated Hayes modem, on a pseudo-terminal or a serial
device. Runs until SIGTERM or SIGINT (then removes its link) or until idle.

  --help                   this text
  --version                the program's version

Line:
  --pty                    make a pseudo-terminal pair (the default); the slave's
                           path is the first line of standard output
  --device PATH            use this serial device instead
  --link PATH              symbolic link to the slave (e.g. a port alias such as
                           $XDG_CONFIG_HOME/Halbrec/ZURavorav/ports/COM7);
                           missing folders are made; removed at exit
  --baud N                 line speed: every byte costs 10 bits each way
                           (default 19200; 0 = no pacing)
  --latency MS             wait before each answer (default 5)
  --exit-after-idle S      exit after S seconds without a byte from the line
                           (default 0 = never)
  --exit-on-hangup         exit when the line hangs up, instead of opening a
                           fresh pseudo-terminal (its path is printed on a new
                           line of standard output and the link re-pointed) or
                           reopening the device
  --log                    print every request and answer as hex with a time
                           stamp, and what happened on the line, to stderr
  --log-file PATH          the same, to a file
  --dump PATH              write the rings' records in the order a reader gets
                           them (newest first) to PATH, at start and after
                           every write: lines "ring KIND h=H o=O n=N" and
                           "KIND INDEX HEX" (32 hex digits)

Device:
  --address N              network address 1..254 (default 1); address 0 is
                           answered as well
  --device-version N       the device's version, the third identification
                           byte (default 1)
  --max-records N          records per archive answer, 1..255 (default 31, so
                           an answer fits a 512-byte receive buffer)
  --clock YYYY-MM-DDTHH:MM:SS
                           the device clock at start (default: host local time);
                           it runs on from there, a clock write moves it
  --flow-settle S          G starts at 0 and settles at its value over about S
                           seconds (0..86400), overshooting once; the volumes
                           follow it, and so do the flags 2 (g < 0), 3
                           (g < g_пор) and 4 (g > g_макс) (default 0: G steady)
  --seed N                 seed of the contents and of the faults (default 1)
  --serial N               serial number (default from the seed)
  --ns-flags N             abnormal-situation flags, bits 0..3 (default 0)
  --du-index N             nominal-diameter index (default from the seed)

Contents (KIND is hour, day, month or journal):
  --KIND N                 records in the ring (defaults: hour 168, day 62,
                           month 24, journal 64); hourly one per hour back from
                           the clock, daily one per day, monthly one per month
  --KIND-ring SIZE         slots in the ring, 1..65536 (defaults: hour 2048,
                           day 512, month 128, journal 1024, or records + 1);
                           a ring holds at most SIZE - 1 records
  --KIND-oldest INDEX      slot of the oldest record (default 0)
  --wrap                   put each ring's oldest record so that the records
                           wrap round the end of the ring (unless
                           --KIND-oldest is given)
  --empty-slots P          chance 0..1 that a record slot is erased (all 0xFF)
  --empty-count N          erased record slots in each ring

Faults (reproducible with --seed; requests are counted from 1 over the
whole run, only those addressed to the device):
  --fault KIND[:KEY=V,...] KIND: drop (no answer), crc (the CRC is spoiled),
                           truncate (the answer is cut short), garbage (1..8
                           random bytes before the answer), exception (an
                           exception answer instead); and answers that are
                           well-formed (good CRC) but wrong: empty (an archive
                           answer with 0 records), kind (an archive answer of
                           the next kind, 0->1->2->3->0, records kept), rings
                           (the current-parameter answer reports every ring
                           as one slot with its oldest index at 2, outside
                           the ring), echo (a write's echo names the next
                           start register); each of these four strikes only
                           answers of its function (65, 65, 4, 16). KEY:
                           p=probability per answer (default 1), n=at most
                           this many times, from=first request number, fn=only
                           this function, code=exception code (default 4).
                           Repeatable; e.g. --fault drop:n=2 --fault
                           crc:p=0.1,fn=65 --fault empty:n=1
  --stop-after N           answer N requests, then stay silent for good
  --hangup-after N         hang the line up when request N + 1 arrives (once):
                           the master side is closed, the client's port sees
                           a hang-up; then a fresh line as --exit-on-hangup says

Modem (--modem puts a Hayes modem in front of the device):
  --modem                  command mode with AT, ATZ, ATE0/ATE1, ATH, ATO, ATI,
                           ATD<number> (ATDT/ATDP), S registers; verbose result
                           codes; echo on at start; "+++" with the guard time
                           before and after returns to command mode with the
                           call up (ATO resumes it, ATH ends it). The rate in
                           "CONNECT 19200" is --baud (19200 when 0). A pty has
                           no DTR: an AT command line arriving in a call after
                           the guard time of silence ends the call as a DTR
                           drop would, and is carried out
  --answer NUMBER          a number that answers (repeatable); without any,
                           every number that is not busy or silent answers,
                           with some, other numbers give NO CARRIER
  --busy NUMBER            a busy number, BUSY after the ring delay (repeatable)
  --no-answer NUMBER       a number that rings for ever (repeatable)
  --no-answer-after S      send NO ANSWER after S seconds for such a number
                           (default 0 = stay silent)
  --no-dialtone            every dial gives NO DIALTONE
  --ring-delay MS          dial to result (default 1000)
  --guard-time MS          escape guard time (default 1000)
  --drop-after-seconds S   the carrier drops S seconds after CONNECT: the line
                           hangs up as for --hangup-after
  --drop-after-requests N  the carrier drops when request N + 1 of a call
                           arrives

Exit status: 0 after SIGTERM, SIGINT or the idle time, 1 on a line error,
2 on a usage error.
)";
}

}  // namespace zqsim

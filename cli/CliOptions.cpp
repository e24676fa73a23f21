#include "CliOptions.h"

#include "ZQMonitoringTask.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <set>

namespace {

const std::set<std::string> kCommands = {"read",        "monitor",     "set-time", "clear-archive",
                                         "write-setup", "show",        "export",   "modems",
                                         "modem-add",   "modem-remove"};

int ParseInt(const std::string& option, const std::string& text, long min, long max) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < min || value > max) {
        throw UsageError(option + ": expected an integer from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", got '" + text + "'");
    }
    return static_cast<int>(value);
}

double ParseSeconds(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value <= 0 ||
        value > kMaxTimeoutSeconds) {
        throw UsageError(option + ": expected a positive number of seconds up to " +
                         std::to_string(static_cast<long>(kMaxTimeoutSeconds)) + ", got '" + text +
                         "'");
    }
    return value;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        const size_t end = comma == std::string::npos ? text.size() : comma;
        if (end > start) {
            items.push_back(text.substr(start, end - start));
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return items;
}

}  // namespace

CliOptions ParseCliOptions(const std::vector<std::string>& args) {
    CliOptions o;
    size_t i = 0;
    auto value = [&](const std::string& option) -> std::string {
        if (i + 1 >= args.size()) {
            throw UsageError(option + " needs a value");
        }
        return args[++i];
    };
    for (; i < args.size(); ++i) {
        std::string arg = args[i];
        // --option=value is the same as --option value.
        const size_t eq = arg.find('=');
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        auto take = [&](const std::string& option) {
            return inlineValue ? *inlineValue : value(option);
        };
        if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "--xlsx") {
            o.xlsx = take(arg);
        } else if (arg == "--port") {
            o.port = take(arg);
        } else if (arg == "--address") {
            o.address = ParseInt(arg, take(arg), 0, 255);
        } else if (arg == "--interval") {
            o.interval = ParseInt(arg, take(arg), ZQMonitoringTask::kMinInterval,
                                  ZQMonitoringTask::kMaxInterval);
        } else if (arg == "--modem") {
            o.modem = take(arg);
        } else if (arg == "--phone") {
            o.phone = take(arg);
        } else if (arg == "--timeout") {
            o.timeoutSeconds = ParseSeconds(arg, take(arg));
        } else if (arg == "--verbose" || arg == "-v") {
            o.verbose = true;
        } else if (arg == "--out") {
            o.out = take(arg);
        } else if (arg == "--archives") {
            const std::string list = take(arg);
            o.archivesGiven = true;
            o.archives.clear();
            if (list != "none") {
                for (const std::string& item : SplitList(list)) {
                    if (item != "hour" && item != "day" && item != "month" && item != "journal") {
                        throw UsageError("--archives: unknown archive '" + item +
                                         "' (hour, day, month, journal or none)");
                    }
                    o.archives.push_back(item);
                }
                if (o.archives.empty()) {
                    throw UsageError("--archives: give hour, day, month, journal or none");
                }
            }
        } else if (arg == "--cycles") {
            o.cycles = ParseInt(arg, take(arg), 1, 1000000000);
        } else if (arg == "--record") {
            o.record = take(arg);
            if (o.record->empty()) {
                throw UsageError("--record needs a file name");
            }
        } else if (arg == "--yes") {
            o.yes = true;
        } else if (arg == "--net-address") {
            o.netAddress = ParseInt(arg, take(arg), 1, 254);
        } else if (arg == "--calibration-code") {
            o.calibrationCode = ParseInt(arg, take(arg), 0, 16383);
        } else if (arg == "--test-code") {
            o.testCode = ParseInt(arg, take(arg), 0, 16383);
        } else if (arg == "--test-mode") {
            o.testMode = ParseInt(arg, take(arg), 0, 1);
        } else if (arg == "--section") {
            const std::string s = take(arg);
            static const std::set<std::string> kSections = {"current", "setup", "hour",
                                                            "day",     "month", "journal"};
            if (!kSections.count(s)) {
                throw UsageError("--section: expected current, setup, hour, day, month or journal");
            }
            o.section = s;
        } else if (arg == "--csv") {
            o.csv = true;
        } else if (arg == "--init") {
            o.init = take(arg);
        } else if (arg.rfind("-", 0) == 0 && arg.size() > 1) {
            throw UsageError("unknown option " + arg);
        } else if (o.command.empty()) {
            if (!kCommands.count(arg)) {
                throw UsageError("unknown command '" + arg + "'");
            }
            o.command = arg;
        } else {
            o.arguments.push_back(arg);
        }
    }
    if (o.help || o.version) {
        return o;
    }
    if (o.command.empty()) {
        throw UsageError("no command given");
    }
    const size_t expected = (o.command == "show" || o.command == "export" ||
                             o.command == "modem-add" || o.command == "modem-remove")
                                ? 1
                                : 0;
    if (o.arguments.size() != expected) {
        throw UsageError(expected ? o.command + " needs exactly one argument"
                                  : o.command + " takes no arguments");
    }
    if (o.command == "read" && !o.out) {
        throw UsageError("read needs --out FILE.arch");
    }
    if (o.command == "export" && (!o.xlsx || o.xlsx->empty())) {
        throw UsageError("export needs --xlsx OUT.xlsx");
    }
    if (o.command == "write-setup") {
        if (!o.netAddress) {
            throw UsageError("write-setup needs --net-address N");
        }
        const int calibration =
            (o.calibrationCode ? 1 : 0) + (o.testCode ? 1 : 0) + (o.testMode ? 1 : 0);
        if (calibration != 0 && calibration != 3) {
            throw UsageError(
                "write-setup: give --calibration-code, --test-code and --test-mode together");
        }
    }
    if (o.record && o.command != "monitor") {
        throw UsageError("--record is an option of monitor");
    }
    if (o.command == "modem-add" && !o.port) {
        throw UsageError("modem-add needs --port PORT");
    }
    return o;
}

std::string CliUsage() {
    return R"(Usage: zqcli [options] COMMAND [arguments]

The ZQ device's service commands without a window. Connection settings come
from the settings store ($XDG_CONFIG_HOME/Halbrec/ZURavorav.reg) as the
window saves them; the options below override them for this run only.

Commands:
  read --out FILE.arch        read everything and save it to an archive file
      [--archives LIST]       hour,day,month,journal (any of them) or none;
                              default: the stored read settings
  monitor [--cycles N] [--record FILE.csv]
                              read the current and setup parameters again and
                              again, pausing the monitoring interval; print
                              them after every cycle; stop after N cycles (or
                              Ctrl+C). --record appends one line per cycle to
                              FILE.csv (created when missing, never
                              truncated; the header line only when it is new
                              or empty): the local time, G, Tраб, Твкл, V+,
                              V-, the four flags (0/1) and the current output,
                              comma-separated, '.' as the decimal point, each
                              line flushed to the disk as it is written. A
                              file that cannot be opened ends the command; a
                              write that fails stops the recording, the
                              monitoring goes on and the exit status is 1
  set-time                    set the device clock to this PC's local time
  clear-archive --yes         clear the device's counters and archives
  write-setup --net-address N [--calibration-code C --test-code T --test-mode 0|1]
                              write the network address (1..254) and, when
                              calibration is enabled in the settings, the
                              current-output codes (0..16383)
  export FILE.arch --xlsx OUT.xlsx
                              write the workbook "Экспорт в Excel" writes
                              after opening FILE.arch in the window: six
                              sheets, the pages' texts and the archives; the
                              setup sheet has "Код 20 мА" only when
                              EnableCalibration is non-zero in the settings.
                              Writes OUT.xlsx (through a temporary file, so
                              a failure never leaves a cut one) and nothing
                              else
  show FILE.arch [--section S] [--csv]
                              print what the window's pages show of a file;
                              S: current, setup, hour, day, month, journal
                              (default: all six, each under its page caption)
  modems                      list the modem lines as the connection dialog does
  modem-add NAME --port PORT [--init STRING]
                              configure a modem (init string default "ATZ")
  modem-remove NAME           remove a configured modem

Connection options (this run only; the store is never changed):
  --port NAME                 COM port name (COM3, a port-folder alias, or a
                              device path such as /dev/ttyUSB0)
  --address N                 the device's Modbus address (0..255)
  --interval S                monitoring pause in seconds (2..1000)
  --modem NAME --phone NUMBER dial through a configured modem
  --timeout S                 stop the running command after S seconds (at
                              most 1000000), as "Отмена обмена" does
  --verbose                   print the exchange log to standard error: every
                              request and answer (time, direction, packet id,
                              length, bytes, verdict) and the channel's and
                              the line's own texts

Other options:
  --help                      this text
  --version                   the program's version

Output: results go to standard output, progress and status texts to standard
error. Exit status: 0 success, 1 the command ended in an error (its text is
printed) or was stopped (Ctrl+C, --timeout), 2 a usage error.
)";
}

#include "CliOptions.h"

#include "DateTime.h"
#include "FleetCommands.h"
#include "NetEndpoint.h"
#include "ZQMonitoringTask.h"
#include "ZQSearchTask.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <set>
#include <tuple>

namespace {

const std::set<std::string> kCommands = {
    "read",   "monitor",   "set-time",     "clear-archive", "write-setup", "show", "export",
    "modems", "modem-add", "modem-remove", "ports",         "scan",        "fleet"};

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

// "YYYY-MM-DD", digits only, as a day count; false for anything else (a
// space, a sign) or no such day.
bool ParseDay(const std::string& text, double& day) {
    if (text.size() != 10) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? text[i] != '-' : (text[i] < '0' || text[i] > '9')) {
            return false;
        }
    }
    const int year = std::stoi(text.substr(0, 4));
    const int month = std::stoi(text.substr(5, 2));
    const int dayOfMonth = std::stoi(text.substr(8, 2));
    return year >= 2000 && year <= 2255 && TryEncodeDate(year, month, dayOfMonth, day);
}

// "FROM..TO", two days of the device's years 2000..2255, FROM not after TO.
void ParsePeriod(const std::string& text, CliOptions& o) {
    const size_t dots = text.find("..");
    double from = 0;
    double to = 0;
    if (dots == std::string::npos || !ParseDay(text.substr(0, dots), from) ||
        !ParseDay(text.substr(dots + 2), to)) {
        throw UsageError("--period: expected FROM..TO, two dates YYYY-MM-DD of 2000..2255, got '" +
                         text + "'");
    }
    if (from > to) {
        throw UsageError("--period: " + text.substr(0, dots) + " is after " +
                         text.substr(dots + 2));
    }
    o.periodFrom = from;
    o.periodTo = to;
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

// --from and --to: addresses for scan, days for fleet report.
void ParseFromTo(const std::optional<std::string>& from, const std::optional<std::string>& to,
                 CliOptions& o) {
    if (o.command != "fleet") {
        if (from) {
            o.fromAddress =
                ParseInt("--from", *from, ZQSearchTask::kMinAddress, ZQSearchTask::kMaxAddress);
        }
        if (to) {
            o.toAddress =
                ParseInt("--to", *to, ZQSearchTask::kMinAddress, ZQSearchTask::kMaxAddress);
        }
        return;
    }
    double first = 0;
    double last = 0;
    for (const auto& [option, text, day] :
         {std::tuple{"--from", &from, &first}, std::tuple{"--to", &to, &last}}) {
        if (*text && !ParseDay(**text, *day)) {
            throw UsageError(std::string(option) +
                             ": expected a date YYYY-MM-DD of 2000..2255, got '" + **text + "'");
        }
    }
    if (from && to && first > last) {
        throw UsageError("--to " + *to + " is before --from " + *from);
    }
    o.reportFrom = from;
    o.reportTo = to;
}

}  // namespace

CliOptions ParseCliOptions(const std::vector<std::string>& args) {
    CliOptions o;
    std::optional<std::string> fromText;
    std::optional<std::string> toText;
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
        } else if (arg == "--tcp" || arg == "--rfc2217" || arg == "--listen") {
            const std::string address = take(arg);
            const bool listen = arg == "--listen";
            std::string error;
            if (listen ? !ParseListenAddress(address, &error)
                       : !ParseConnectAddress(address, &error)) {
                throw UsageError(arg + ": '" + address + "': " +
                                 (listen ? "expected [ADDRESS:]PORT" : "expected HOST:PORT") +
                                 " (an IPv6 address in brackets), the port 1..65535");
            }
            if (o.networkMode) {
                throw UsageError("give only one of --tcp, --rfc2217 and --listen");
            }
            o.networkMode = arg == "--tcp" ? 0 : arg == "--rfc2217" ? 1 : 2;
            o.networkAddress = address;
        } else if (arg == "--allow") {
            // An empty list would let every caller in: that is only ever
            // said in words.
            const std::string peers = take(arg);
            if (peers == kAllowAny) {
                o.allow = "";
                o.allowAny = true;
            } else if (SplitPeerList(peers).empty()) {
                throw UsageError(
                    "--allow: no address given; name the peers let in, or give --allow any to "
                    "let every caller in");
            } else if (!CheckPeerList(peers, nullptr)) {
                throw UsageError(
                    "--allow: expected IPv4 or IPv6 addresses separated by commas, or any, got '" +
                    peers + "'");
            } else {
                o.allow = peers;
                o.allowAny = false;
            }
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
        } else if (arg == "--period") {
            ParsePeriod(take(arg), o);
        } else if (arg == "--missing") {
            o.missing = take(arg);
        } else if (arg == "--whole-if-other") {
            o.wholeIfOther = true;
        } else if (arg == "--drop-oldest") {
            o.dropOldest = true;
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
        } else if (arg == "--from" || arg == "--to") {
            (arg == "--from" ? fromText : toText) = take(arg);
        } else if (arg == "--init") {
            o.init = take(arg);
        } else if (arg == "--db") {
            o.db = take(arg);
        } else if (arg == "--group") {
            o.group = take(arg);
        } else if (arg == "--note") {
            o.note = take(arg);
        } else if (arg == "--name") {
            o.newName = take(arg);
        } else if (arg == "--purge") {
            o.purge = true;
        } else if (arg == "--parallel") {
            o.parallel = ParseInt(arg, take(arg), 1, 256);
        } else if (arg == "--sync-clock") {
            o.syncClock = ParseInt(arg, take(arg), 1, 86400);
        } else if (arg == "--collector") {
            o.collector = take(arg);
        } else if (arg == "--skip-fresh") {
            o.skipFresh = ParseInt(arg, take(arg), 1, 7 * 24 * 60);
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
    ParseFromTo(fromText, toText, o);
    const size_t expected = (o.command == "show" || o.command == "export" ||
                             o.command == "modem-add" || o.command == "modem-remove")
                                ? 1
                                : 0;
    if (o.command == "fleet") {
        CheckFleetOptions(o);
        return o;
    }
    if (o.db || o.group || o.note || o.newName || o.purge || o.parallel || o.syncClock ||
        o.collector || o.skipFresh) {
        throw UsageError(
            "--db, --group, --note, --name, --purge, --parallel, --sync-clock, --collector and "
            "--skip-fresh are options of fleet");
    }
    if (o.arguments.size() != expected) {
        throw UsageError(expected ? o.command + " needs exactly one argument"
                                  : o.command + " takes no arguments");
    }
    if (o.command == "read" && !o.out) {
        throw UsageError("read needs --out FILE.arch");
    }
    if ((o.periodFrom || o.missing) && o.command != "read") {
        throw UsageError("--period and --missing are options of read");
    }
    if (o.periodFrom && o.missing) {
        throw UsageError("read takes --period or --missing, not both");
    }
    if ((o.wholeIfOther || o.dropOldest) && !o.missing) {
        throw UsageError("--whole-if-other and --drop-oldest go with --missing");
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
    if (o.fromAddress.value_or(ZQSearchTask::kFirstAddress) >
        o.toAddress.value_or(ZQSearchTask::kLastAddress)) {
        throw UsageError("scan: --from must not be above --to");
    }
    if (o.allow && o.networkMode != 2) {
        throw UsageError("--allow goes with --listen");
    }
    if (o.networkMode && o.command != "modem-add" && (o.port || o.modem || o.phone)) {
        throw UsageError("give either --port, --modem or a network option, not several");
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
      [--period FROM..TO]     only the records dated FROM to TO (YYYY-MM-DD,
                              both days included; records whose date cannot
                              be read are left out); each archive is read
                              back to FROM only
      [--missing OLD.arch]    only what OLD.arch lacks: the records the device
                              wrote since the newest record of OLD.arch it
                              still holds, put in front of OLD.arch's records,
                              so that the history grows beyond what the device
                              keeps; a record OLD.arch has is never added
                              again, nor one the device changed since (same
                              date, other bytes): OLD.arch's stays. OLD.arch
                              is never changed unless --out names it (the same
                              file by any path), and then only after a
                              successful read. A device of another serial
                              number is refused before its archives are read
                              (exit 1, nothing written)
      [--whole-if-other]      with --missing: read a device of another serial
                              number whole instead; never written over
                              OLD.arch, so --out must name another file
      [--drop-oldest]         with --missing: a file holds at most 65535
                              records a list; when the grown history has more,
                              standard error says how many of the oldest are
                              left out, and --out naming OLD.arch is refused
                              (exit 1, OLD.arch kept) unless this is given.
                              Without --period or --missing, the whole archive
                              is read, whatever the window's read settings
                              choose. The counts printed are those saved.
  monitor [--cycles N] [--record FILE.csv | --record -]
                              read the current and setup parameters again and
                              again, pausing the monitoring interval; print
                              them after every cycle; stop after N cycles (or
                              Ctrl+C). --record appends one line per cycle to
                              FILE.csv (created when missing, never
                              truncated; the header line only when it is new
                              or empty): the local time, G, Tраб, Твкл, V+,
                              V-, the four flags (0/1) and the current output,
                              comma-separated, '.' as the decimal point, each
                              line flushed to the disk as it is written (on
                              a thread of its own: a slow disk never delays
                              a cycle; at the end the lines still queued get
                              at most 5 s, and standard error names those
                              not written). FILE.csv must be a regular file:
                              a pipe, a device or a folder is refused; with
                              --record - the lines (header first) go to
                              standard output, in place of the printed
                              parameters. A file that cannot be opened ends
                              the command before the device is called; a
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
  ports [--csv]               list the serial ports as the connection dialog
                              does: name, device, what is behind it (a USB
                              adapter's maker, product and serial number, a
                              UART's type and I/O port) and the stable
                              /dev/serial/by-id/ path, one port a line
  scan [--from N] [--to N] [--csv]
                              search for devices over the connection as set:
                              ask every address N..M (default 1..247, at
                              most 254) for its identification with a short
                              time-out (a serial line: 0.1 s an address) and
                              print each device found: address, serial
                              number and version of a ZQ device, "ZQ" or
                              "Modbus" for what answered. Exit 0 when the
                              whole range was searched, found or not
  modems                      list the modem lines as the connection dialog does
  modem-add NAME --port PORT [--init STRING]
                              configure a modem (init string default "ATZ")
  modem-remove NAME           remove a configured modem
  fleet COMMAND [--db URL|PATH]
                              the register of meters and their history
                              database: an SQLite file (default
                              $XDG_DATA_HOME/Halbrec/ZURavorav/fleet.sqlite)
                              or a PostgreSQL database shared by several
                              computers, named by a libpq URI
                              (postgresql://[user@][host][:port][/dbname]
                              [?sslmode=...&service=...&passfile=...]; what
                              it leaves out comes from libpq's environment,
                              PGHOST, PGUSER, PGSERVICE ..., and ~/.pgpass:
                              keep passwords there, not in the URI). --db
                              defaults to $ZQ_FLEET_DB, else the SQLite file.
                              Exit 1 with the reason when the command fails
    fleet add NAME CONNECTION [--address N] [--group G] [--note TEXT]
              [--collector C] add a meter: NAME 1..100 characters, unique in
                              the register; CONNECTION one of --port NAME,
                              --modem NAME --phone NUMBER, --tcp HOST:PORT,
                              --rfc2217 HOST:PORT, --listen [ADDRESS:]PORT
                              with --allow ADDR[,ADDR...] or --allow any;
                              --address 1..247 (default 1); --collector:
                              only the rounds of collector C read it
                              (default: any collector's)
    fleet edit NAME [CONNECTION] [--address N] [--group G] [--note TEXT]
               [--collector C] [--name NEW]
                              change what is given; a connection given
                              replaces the old one whole; --name renames;
                              --collector "" lets any collector read it
    fleet remove NAME --yes [--purge]
                              take the meter out of the register and the
                              rounds; its history stays in the database
                              (under the removed meter, its name free
                              again) unless --purge deletes it too
    fleet list [--csv] [--group G]
                              the meters by name: connection, address,
                              group, collector, serial number, the last
                              read, its outcome and text, the records held
                              per list
    fleet export-csv          the register as CSV on standard output: name,
                              connection (port, modem, tcp, rfc2217,
                              listen), port, modem, phone, network address,
                              allowed peers, address, group, note, serial,
                              collector
    fleet import-csv FILE     add the meters of such a table; all or none:
                              a bad line is named by its number and nothing
                              is added
    fleet import NAME FILE.arch...
                              store the records of archive files in the
                              meter's history, each file in a transaction
                              of its own: a record already held is never
                              stored again, nor one with the time stamp of
                              a stored record but other bytes (the stored
                              one stays); an older file goes behind the
                              history, a newer one in front. A file of
                              another serial number is refused naming both
                              numbers, nothing of it stored (exit 1)
    fleet history NAME --out FILE.arch
                              save the meter's history as an archive file:
                              the parameters of its last read and every
                              list newest first; a file holds at most 65535
                              records a list, and when the history has more
                              standard error says how many of the oldest
                              are left out
    fleet round [NAME...] [--group G] [--parallel N] [--csv] [--sync-clock S]
                [--collector NAME] [--skip-fresh MIN] [--timeout S] [--verbose]
                              read the meters named (default: every meter of
                              the register, or of the group): of each only
                              what its history lacks (all of it at its first
                              read), stored in one transaction per meter with
                              its parameters and a line of the read log.
                              Meters on different ports, modems or network
                              addresses are read at the same time, up to
                              --parallel (1..256, default 8); meters behind
                              one endpoint one after another over one
                              connection. A meter's serial number is learnt
                              at its first read; another device at its place
                              fails it, naming both numbers, and nothing is
                              stored. --sync-clock S sets the clock of a
                              meter whose clock is more than S seconds off
                              (never within two minutes of an hour's start
                              or end); the drift is logged either way. A
                              meter another round reads at the same time is
                              skipped and said so. One line per meter as it
                              ends (name, outcome, new records per list,
                              requests, seconds, the status), then the
                              totals; --csv gives CSV rows instead. Exit 0
                              when every meter was read, 1 when any was not
                              (each named on standard error); Ctrl+C or
                              --timeout stops the round, keeping what was
                              stored. --collector NAME (default: the host
                              name) names this collector in the read log;
                              without NAMEs it reads the meters assigned to
                              it and those assigned to none. Several
                              collectors on one database share a round with
                              --skip-fresh MIN: a meter read by any of them
                              in the last MIN minutes is not read again, and
                              a meter another collector held is tried again
                              at the end
    fleet report --from YYYY-MM-DD --to YYYY-MM-DD [--group G]
                 (--xlsx OUT.xlsx | --csv)
                              the consumption of each meter of the register
                              (or of the group) over the days FROM to TO,
                              both included, in the devices' own time: the
                              counters V+ and V- at FROM 00:00 and at the end
                              of TO (the hourly records of hour 23 of the day
                              before and of TO; where one is missing the
                              daily record of that day, else the nearest
                              hourly record of the period, which the remark
                              names), their difference, the hours with a
                              record, without one and with an abnormal
                              situation, the journal's events, the last read
                              and a remark. The difference is left empty
                              when a counter went back between the two
                              readings (a cleared archive, a clock set back,
                              another device), a value is no number or an
                              hour was written twice; the remark says where.
                              --xlsx writes a workbook (through a temporary
                              file): the summary sheet "Сводка" and a sheet
                              per meter with its consumption day by day and
                              a chart; --csv prints the summary as CSV

Connection options (this run only; the store is never changed):
  --port NAME                 COM port name (COM3, a port-folder alias, or a
                              device path such as /dev/ttyUSB0)
  --address N                 the device's Modbus address (0..255)
  --interval S                monitoring pause in seconds (2..1000); the
                              read's interval is --period
  --modem NAME --phone NUMBER dial through a configured modem
  --tcp HOST:PORT             Modbus RTU over TCP to a serial device server
                              (raw / TCP server mode) or a GSM/LTE modem in
                              transparent mode; HOST a name, an IPv4 address
                              or [an IPv6 address]
  --rfc2217 HOST:PORT         the same through a telnet COM-port-control
                              server (RFC 2217, e.g. ser2net's telnet(rfc2217)
                              accepter): the remote line is set to 19200 8N1,
                              DTR on, RTS off
  --listen [ADDRESS:]PORT     wait for the device to call in (a modem behind
                              an operator's NAT connecting out): listen while
                              the command connects, at most 120 s, and take
                              the first caller; nothing listens afterwards
  --allow ADDR[,ADDR...]      with --listen: only these peers are let in
                              (IPv4 or IPv6 addresses); without --allow the
                              list stored by the connection dialog holds.
                              When that is empty too, --listen is refused:
                              --allow any lets every caller in, and says so
                              on standard error
                              Network time-outs: 15 s to connect, 5 s for an
                              answer (a serial line: 1 s, a modem call: 3 s)
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

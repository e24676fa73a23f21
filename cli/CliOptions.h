#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A command line that cannot be used; main() prints it and exits with 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The longest --timeout, in seconds (about 11.5 days): its milliseconds
// stay far inside an int.
constexpr double kMaxTimeoutSeconds = 1000000;

// Everything the command line can say. Options that change the connection
// apply to this run only and never reach the settings store.
struct CliOptions {
    std::string command;  // read, monitor, set-time, clear-archive, write-setup, show, export,
                          // modems, modem-add, modem-remove, ports, scan, fleet
    std::vector<std::string> arguments;  // positional arguments after the command

    // Connection, for this run.
    std::optional<std::string> port;
    std::optional<int> address;
    std::optional<int> interval;
    std::optional<std::string> modem;
    std::optional<std::string> phone;
    // The network: the mode (0 --tcp, 1 --rfc2217, 2 --listen), its address,
    // and for --listen the peers let in (--allow, never an empty list but
    // for --allow any, which sets `allowAny`).
    std::optional<int> networkMode;
    std::optional<std::string> networkAddress;
    std::optional<std::string> allow;
    bool allowAny = false;
    std::optional<double> timeoutSeconds;
    bool verbose = false;
    bool help = false;
    bool version = false;

    // read
    std::optional<std::string> out;
    // Archives to read: hour, day, month, journal; empty with `archivesGiven`
    // means none.
    bool archivesGiven = false;
    std::vector<std::string> archives;
    // --period FROM..TO: day counts (days since 30 December 1899), FROM <= TO.
    std::optional<double> periodFrom;
    std::optional<double> periodTo;
    // --missing OLD.arch: the file whose missing part is read.
    std::optional<std::string> missing;
    // --whole-if-other: a device of another serial number is read whole.
    bool wholeIfOther = false;
    // --drop-oldest: OLD.arch may be replaced by a history cut to what the
    // file holds.
    bool dropOldest = false;

    // monitor
    std::optional<int> cycles;
    std::optional<std::string> record;  // CSV file the cycles are appended to

    // clear-archive
    bool yes = false;

    // write-setup
    std::optional<int> netAddress;
    std::optional<int> calibrationCode;
    std::optional<int> testCode;
    std::optional<int> testMode;

    // show
    std::optional<std::string> section;
    bool csv = false;

    // export
    std::optional<std::string> xlsx;

    // scan: the range of addresses asked
    std::optional<int> fromAddress;
    std::optional<int> toAddress;

    // modem-add
    std::optional<std::string> init;

    // fleet (FleetCommands.h): the history database, and a meter's group,
    // note, new name, and whether its removal takes its history along.
    std::optional<std::string> db;
    std::optional<std::string> group;
    std::optional<std::string> note;
    std::optional<std::string> newName;
    bool purge = false;
    // fleet round: endpoints read at once, the clock drift (s) past which a
    // meter's clock is set, the collector's name in the read log.
    std::optional<int> parallel;
    std::optional<int> syncClock;
    std::optional<std::string> collector;
    // fleet round: minutes within which a meter read by any collector is
    // not read again.
    std::optional<int> skipFresh;
    // fleet report: the period's first and last day, "YYYY-MM-DD", checked
    // (a day of 2000..2255, the first not after the last).
    std::optional<std::string> reportFrom;
    std::optional<std::string> reportTo;
};

// The word of --allow that lets every caller in.
inline constexpr const char* kAllowAny = "any";

// Parses argv; raises UsageError with a message for the user.
CliOptions ParseCliOptions(const std::vector<std::string>& args);

std::string CliUsage();

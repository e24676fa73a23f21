#pragma once

#include <optional>
#include <string>
#include <vector>

// `zqcli fleet round`: what the command line asked for.
struct FleetRoundArguments {
    std::vector<std::string> names;  // none: every meter (of the group)
    std::optional<std::string> group;
    int parallel = 8;
    bool csv = false;
    std::optional<int> syncClockS;
    std::string database;   // --db, ZQ_FLEET_DB, or "" for the default
    std::string collector;  // "" for the host name
    std::optional<int> skipFreshMinutes;
    bool verbose = false;
    std::optional<double> timeoutSeconds;
};

// Reads the meters, one line per meter on standard output as it ends (or a
// CSV row), then the totals; the meters not read are named on standard
// error. Returns 0 when every meter was read (or is being read by another
// round), 1 when any was not or the database failed, 2 when a name is not
// in the register.
int RunFleetRound(const FleetRoundArguments& arguments);

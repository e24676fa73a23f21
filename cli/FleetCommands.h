#pragma once

#include "CliOptions.h"

// zqcli fleet: the register of meters and their history database.
//
//   fleet add NAME CONNECTION [--address N] [--group G] [--note TEXT]
//   fleet edit NAME [CONNECTION] [--address N] [--group G] [--note TEXT] [--name NEW]
//   fleet remove NAME --yes [--purge]
//   fleet list [--csv] [--group G]
//   fleet import-csv FILE
//   fleet export-csv
//   fleet import NAME FILE.arch...
//   fleet history NAME --out FILE.arch
//   fleet round [NAME...] [--group G] [--parallel N] [--csv] [--sync-clock S] ...
//   fleet report --from YYYY-MM-DD --to YYYY-MM-DD [--group G] (--xlsx OUT.xlsx | --csv)
//
// CONNECTION is what zqcli read takes: --port, --modem with --phone, --tcp,
// --rfc2217, or --listen with --allow. Every one takes --db URL|PATH
// (default: $ZQ_FLEET_DB, else the SQLite file of FleetDatabase).

// The checks of a fleet command line that ParseCliOptions leaves to the
// fleet: raises UsageError.
void CheckFleetOptions(const CliOptions& options);

// Carries out a checked fleet command line: 0 done, 1 failed (the reason
// on standard error).
int FleetCommand(const CliOptions& options);

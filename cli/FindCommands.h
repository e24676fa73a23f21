#pragma once

#include "CliOptions.h"

// zqcli ports: the ports there are, one a line (name, device, description,
// stable path), aligned or as CSV. Always 0.
int PortsCommand(const CliOptions& options);

// zqcli scan: "Поиск прибора" over the connection as set, each device found
// printed on its own line as soon as its address is done (address, serial
// number, version, what answered: ZQ or Modbus), after a header line.
// 0 when the whole range was searched, found or not; 1 when it failed or
// was stopped (the devices found until then are printed). Needs a
// QCoreApplication and the connection options applied.
int ScanCommand(const CliOptions& options);

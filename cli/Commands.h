#pragma once

#include "CliOptions.h"

// Carries out one parsed command line; returns the exit status (0 success,
// 1 the command failed or was stopped). Needs a QCoreApplication.
int RunCommand(const CliOptions& options);

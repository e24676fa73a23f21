#pragma once

#include "DateTime.h"

#include <functional>

// The PC's local date and time as a day-count value. Tasks that need the
// time take a clock like this, so tests can set it.
using TaskClock = std::function<TDateTime()>;

TDateTime LocalNow();

#pragma once

#include <chrono>

namespace zqsim {

// The simulator's time: monotonic, for frame gaps, deadlines and pacing.
using SimClock = std::chrono::steady_clock;
using SimTime = SimClock::time_point;

}  // namespace zqsim

#pragma once

#include "DeviceModel.h"
#include "FaultPlan.h"
#include "SimOptions.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zqsim {

// The content options of device `index` (counted from 0) of several, on one
// line or in a fleet: seed S + index and, from the second device on, serial
// number N + index, where S is `first`'s seed and N the first device's
// serial (given, or drawn from S). Device k is thus exactly the device that
// --seed S+k --serial N+k makes, and the serial numbers never repeat.
// Device 0's options are `first` unchanged.
ContentOptions NthDeviceContent(const ContentOptions& first, int index);

// One device on the line: what it holds, its faults and how many requests
// were addressed to it (faults and --stop-after count these).
struct SimDevice {
    DeviceModel model;
    FaultPlan faults;
    int requests = 0;
};

// The devices of options.addresses in that order, each of
// NthDeviceContent, its faults drawn from its own seed; their clocks start
// at `start`.
std::vector<SimDevice> MakeSimDevices(const SimOptions& options, const CivilTime& start);

// The rings of every device in the order a reader gets the records (newest
// first), written to a temporary file beside `path` and renamed over it: per
// device a line "device ADDRESS serial SERIAL", then per ring a line
// "ring KIND h=H o=O n=N" and its records "KIND INDEX HEX" (32 hex digits).
// False when the file cannot be written.
bool WriteSimDump(const std::string& path, const std::vector<SimDevice>& devices);

}  // namespace zqsim

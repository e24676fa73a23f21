#pragma once

#include "DateTime.h"

#include <cstdint>

// Decoded setup parameters of the device.
struct SetupParamsStruct {
    TDateTime Date = 0;
    TDateTime Time = 0;
    uint8_t ClearArchive = 0;      // clear-archive register (40007) non-zero
    uint8_t NetAddress = 0;        // Modbus address, 1..254 on the page
    uint16_t CalibrationCode = 0;  // current-output code for 20 mA, 0..16383
    uint16_t TestCode = 0;         // current-output test code, 0..16383
    uint8_t TestMode = 0;          // current output in test mode

    bool operator==(const SetupParamsStruct&) const = default;
};

#pragma once

#include "DateTime.h"

#include <cstdint>

// Decoded current parameters of the device.
struct CurrentParamsStruct {
    TDateTime Date = 0;        // device date
    TDateTime Time = 0;        // device time of day
    uint16_t DuIndex = 0;      // index into the nominal-diameter list
    uint16_t CurrentCode = 0;  // current output, units of 0.001 mA
    uint32_t Serial = 0;       // serial number
    uint32_t Ton = 0;          // power-on time counter, minutes
    uint32_t Twork = 0;        // operating time counter, minutes
    float ImpulseWeight = 0;   // litres
    float ImpulseLength = 0;   // ms
    float G = 0;               // flow, m3/h
    float Gmin = 0;            // threshold flow g_пор, m3/h
    float Gmax = 0;            // maximum flow g_макс, m3/h
    double Vd = 0;             // volume forward V+, m3
    double Vr = 0;             // volume reverse V-, m3
    uint8_t NSFlags = 0;       // bit 0 fault, 1 g < 0, 2 g < g_пор, 3 g > g_макс

    bool operator==(const CurrentParamsStruct&) const = default;
};

// Nominal diameters named by DuIndex (index 9 is 65, index 10 is 200).
inline constexpr int kDuValues[12] = {15, 20, 25, 32, 40, 50, 80, 100, 150, 65, 200, 300};
inline constexpr int kDuCount = 12;

// Names of the abnormal-situation flags, bits 0..3 of NSFlags.
inline constexpr const char* kNSFlagNames[4] = {"Неисправность", "g < 0", "g < g_пор",
                                                "g > g_макс"};

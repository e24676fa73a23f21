#pragma once

#include "CurrentParamsStruct.h"
#include "SetupParamsStruct.h"

#include <string>
#include <utility>
#include <vector>

// The texts the two parameter pages show, shared by the window, the export
// and the command-line tool.

// Texts of the current-parameters page fields.
struct CurrentParamsTexts {
    std::string G;              // "%05.4f", m3/h
    std::string Vd;             // "%013.3f", m3
    std::string Vr;             // "%013.3f", m3
    std::string Twork;          // "hh:mm" from minutes, hours not limited to 24
    std::string Ton;            // likewise
    std::string Serial;         // nine digits
    std::string Du;             // the diameter DuIndex names; empty when out of range
    std::string ImpulseWeight;  // "%g", l
    std::string ImpulseLength;  // "%g", ms
    std::string Gmin;           // "%g", m3/h
    std::string Gmax;           // "%g", m3/h
    std::string CurrentValue;   // "%.3f" of CurrentCode x 0.001, mA
};

CurrentParamsTexts FormatCurrentParams(const CurrentParamsStruct& params);

// Minutes as "%02d:%02d" of hours and minutes (61 -> 01:01, 6000 -> 100:00).
std::string FormatMinutes(uint32_t minutes);

// The set flags of bits 0..3, one line "N. name" each, joined by a line feed;
// empty when no flag is set.
std::string FormatFlagList(uint8_t flags);

// The values the setup page holds after showing `params`: address 1..254,
// codes 0..16383, test mode 0 or 1, clear-archive flag 0. A file saved from
// the window stores these.
SetupParamsStruct SetupPageValues(const SetupParamsStruct& params);

// Rows of the two parameter sections, (name, text), as the export and the
// command-line tool list them.
std::vector<std::pair<std::string, std::string>> CurrentParamsRows(
    const CurrentParamsStruct& params);
// Time "hh:nn:ss", date "dd/mm/yyyy" (with the date separator), the numbers
// as integers.
std::vector<std::pair<std::string, std::string>> SetupParamsRows(const SetupParamsStruct& params);

#pragma once

#include "ArchiveStruct.h"
#include "CivilTime.h"
#include "ZQValve.h"

#include <cstdint>

// A document of device `serial` holding `count` hourly records, one an hour
// back from `newest`, newest first (as a read lists them); none of them is
// on a simulated device whose clock is later. For tests of histories.
inline ZQValve HourlyDocument(uint32_t serial, int count, const zqsim::CivilTime& newest) {
    ZQValve valve;
    valve.Ident[2] = 1;
    valve.Current.Serial = serial;
    const int64_t first = zqsim::ToCivilSeconds(newest);
    for (int64_t i = 0; i < count; ++i) {
        const zqsim::CivilTime t = zqsim::FromCivilSeconds(first - i * 3600);
        ZQ_namespace::ArchiveStruct r{};
        r.year = static_cast<uint8_t>(t.year - 2000);
        r.month = static_cast<uint8_t>(t.month);
        r.day = static_cast<uint8_t>(t.day);
        r.hour = static_cast<uint8_t>(t.hour);
        r.vPlus[3] = 0x40;
        valve.HourArchive.push_back(r);
    }
    return valve;
}

#pragma once

#include <cstdint>
#include <string>

// How to reach the device. Persisted in the ChanelSetup key of the store.
struct ChanelSetupStruct {
    int32_t CurrentChanel = 0;  // 0 COM port, 1 modem; anything else fails channel creation
    int32_t NetAddress = 0;     // Modbus address; its low byte goes into every request
    std::string ComPortName = "COM1";
    std::string ModemName;
    std::string PhoneNumber;
    int32_t MonitoringInterval = 6;  // seconds between monitoring cycles

    bool operator==(const ChanelSetupStruct&) const = default;
};

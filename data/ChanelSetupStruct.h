#pragma once

#include <cstdint>
#include <string>

// How to reach the device. Persisted in the ChanelSetup key of the store.
struct ChanelSetupStruct {
    // 0 COM port, 1 modem, 2 network; anything else fails channel creation.
    int32_t CurrentChanel = 0;
    int32_t NetAddress = 0;  // Modbus address; its low byte goes into every request
    std::string ComPortName = "COM1";
    std::string ModemName;
    std::string PhoneNumber;
    int32_t MonitoringInterval = 6;  // seconds between monitoring cycles
    // Network (CurrentChanel 2): "host:port", "[IPv6]:port", or for waiting
    // for the device's call "[address:]port" to listen on.
    std::string NetworkAddress;
    int32_t NetworkMode = 0;  // 0 RTU over TCP, 1 RFC 2217, 2 wait for the call
    // Waiting for the call: the peer addresses let in, separated by spaces or
    // commas; empty lets anyone in.
    std::string AllowedPeers;

    bool operator==(const ChanelSetupStruct&) const = default;
};

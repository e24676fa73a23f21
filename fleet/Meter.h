#pragma once

#include "ChanelSetupStruct.h"

#include <cstdint>
#include <optional>
#include <string>

// One meter of the register: where it is reached and what is known of it.
struct Meter {
    int64_t id = 0;    // the database's key; 0 before it is stored
    std::string name;  // unique in the register
    // The connection, as zqcli read takes it: CurrentChanel (0 a serial
    // port, 1 a modem and its phone number, 2 the network with its mode and,
    // for a device that calls in, the peers let in), and NetAddress, the
    // device's Modbus address (1..247). MonitoringInterval plays no part.
    ChanelSetupStruct connection;
    std::string group;  // may be empty
    std::string note;   // may be empty
    // The collector whose rounds read it (its --collector name); empty: any.
    std::string collector;
    // Learnt at the first read and checked at every later one.
    std::optional<uint32_t> serial;

    bool operator==(const Meter&) const = default;
};

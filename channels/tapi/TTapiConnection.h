#pragma once

#include "LineService.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TTapi;

// One opened line with at most one outgoing data call. Reports the call's
// state codes (1 dialling, 2 connected, 0 disconnected) through FOnState and
// a text for each call state through FOnText, the code always first. GUI
// thread only.
class TTapiConnection {
public:
    explicit TTapiConnection(TTapi* owner);
    // Hangs up, then leaves the owner's list.
    ~TTapiConnection();
    TTapiConnection(const TTapiConnection&) = delete;
    TTapiConnection& operator=(const TTapiConnection&) = delete;

    // Opens the line of modem-list entry `index`; true when a line is open.
    bool OpenLine(int index);
    // Places the data call; false only when no line is open.
    bool MakeCall(const std::string& number);
    // Closes the comm handle, drops the call, closes the line, in that order.
    void HangUp();
    void HandleLineMessage(uintptr_t hDevice, uint32_t dwMsg, uintptr_t dwCallbackInstance,
                           uintptr_t dwParam1, uintptr_t dwParam2, uintptr_t dwParam3);

    std::function<void(const std::string&)> FOnText;
    std::function<void(int)> FOnState;
    std::unique_ptr<LINEDEVCAPS> FDevCaps;
    HLINE FLine = 0;
    HCALL FCall = 0;
    int FCommHandle = -1;  // descriptor of the connected call's port; -1 when none
    int32_t FDeviceID = -1;
    int32_t FCallState = 0;
    TTapi* FOwner;
};

// Text of a call state; empty for a state outside the table.
std::string CallStateText(uint32_t callState);

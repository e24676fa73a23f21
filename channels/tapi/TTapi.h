#pragma once

#include "LineService.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

class TTapiConnection;

// One entry of the modem list.
struct TAPI_DEVICE {
    std::string Name;  // the line's name, at most 255 characters
    int8_t DeviceID;   // the line's device ID; IDs above 127 are not listed
};

// The process's one line application: initialisation, the list of lines
// that carry data-modem calls, and the routing of line messages to the
// connection they concern. GUI thread only.
class TTapi {
public:
    // Initialises the line application and lists the data-modem lines.
    // Raises Exception("Ошибка при выделении памяти") when a buffer cannot be
    // had.
    TTapi();
    ~TTapi();
    TTapi(const TTapi&) = delete;
    TTapi& operator=(const TTapi&) = delete;

    // Capabilities of a device, owned by the caller; negotiates the API
    // version for that device first.
    std::unique_ptr<LINEDEVCAPS> GetDevCaps(int deviceId);
    unsigned GetDeviceCount() const;
    // Empty for an index outside the list.
    std::string GetDeviceName(unsigned index) const;
    // Index of the first entry of exactly this name (case-sensitive), or -1.
    int FindDevice(const std::string& name) const;
    // -1 for an index outside the list.
    int GetDeviceID(unsigned index) const;

    void AddConnection(TTapiConnection* connection);
    void RemoveConnection(TTapiConnection* connection);

    // Hands one message to every connection whose call it concerns.
    void DispatchLineMessage(uintptr_t hDevice, uint32_t dwMsg, uintptr_t dwCallbackInstance,
                             uintptr_t dwParam1, uintptr_t dwParam2, uintptr_t dwParam3);

    uint32_t FApiVersion = 0;
    HLINEAPP FLineApp = 0;
    std::vector<TAPI_DEVICE> FDevices;
    std::set<TTapiConnection*> FConnections;
};

// The live TTapi objects, which the line callback consults.
std::set<TTapi*>& TapiInstances();

// The callback given to lineInitialize: routes a message to every TTapi.
void LineCallback(uintptr_t hDevice, uint32_t dwMsg, uintptr_t dwCallbackInstance,
                  uintptr_t dwParam1, uintptr_t dwParam2, uintptr_t dwParam3);

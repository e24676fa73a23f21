#include "TTapi.h"

#include "TTapiConnection.h"
#include "TapiConstants.h"

#include <vector>

std::set<TTapi*>& TapiInstances() {
    static std::set<TTapi*> instances;
    return instances;
}

void LineCallback(uintptr_t hDevice, uint32_t dwMsg, uintptr_t dwCallbackInstance,
                  uintptr_t dwParam1, uintptr_t dwParam2, uintptr_t dwParam3) {
    // A handler may destroy connections or TTapi objects: walk a copy and
    // skip the ones that went away meanwhile.
    const std::set<TTapi*> instances = TapiInstances();
    for (TTapi* tapi : instances) {
        if (TapiInstances().count(tapi)) {
            tapi->DispatchLineMessage(hDevice, dwMsg, dwCallbackInstance, dwParam1, dwParam2,
                                      dwParam3);
        }
    }
}

TTapi::TTapi() {
    uint32_t count = 0;
    if (lineInitialize(&FLineApp, LineCallback, "TTapi", &count) != 0) {
        FLineApp = 0;
        count = 0;
    }
    for (uint32_t id = 0; id < count; ++id) {
        const std::unique_ptr<LINEDEVCAPS> caps = GetDevCaps(static_cast<int>(id));
        // The one-byte device ID cannot name lines above 127.
        if ((caps->dwMediaModes & LINEMEDIAMODE_DATAMODEM) && id <= 127) {
            FDevices.push_back({caps->LineName.substr(0, 255), static_cast<int8_t>(id)});
        }
    }
    TapiInstances().insert(this);
}

TTapi::~TTapi() {
    if (FLineApp != 0) {
        lineShutdown(FLineApp);
    }
    FDevices.clear();
    // Each connection hangs up and leaves the set as it goes.
    while (!FConnections.empty()) {
        TTapiConnection* connection = *FConnections.begin();
        FConnections.erase(FConnections.begin());
        connection->FOwner = nullptr;
        delete connection;
    }
    TapiInstances().erase(this);
}

std::unique_ptr<LINEDEVCAPS> TTapi::GetDevCaps(int deviceId) {
    auto caps = std::make_unique<LINEDEVCAPS>();
    lineNegotiateAPIVersion(FLineApp, static_cast<uint32_t>(deviceId), 0x10000, 0x10000000,
                            &FApiVersion);
    // A failed query leaves the record empty: no media modes, no name.
    lineGetDevCaps(FLineApp, static_cast<uint32_t>(deviceId), FApiVersion, caps.get());
    return caps;
}

unsigned TTapi::GetDeviceCount() const {
    return static_cast<unsigned>(FDevices.size());
}

std::string TTapi::GetDeviceName(unsigned index) const {
    return index < FDevices.size() ? FDevices[index].Name : std::string();
}

int TTapi::FindDevice(const std::string& name) const {
    for (size_t i = 0; i < FDevices.size(); ++i) {
        if (FDevices[i].Name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int TTapi::GetDeviceID(unsigned index) const {
    return index < FDevices.size() ? FDevices[index].DeviceID : -1;
}

void TTapi::AddConnection(TTapiConnection* connection) {
    FConnections.insert(connection);
}

void TTapi::RemoveConnection(TTapiConnection* connection) {
    FConnections.erase(connection);
}

void TTapi::DispatchLineMessage(uintptr_t hDevice, uint32_t dwMsg, uintptr_t dwCallbackInstance,
                                uintptr_t dwParam1, uintptr_t dwParam2, uintptr_t dwParam3) {
    // A connection's handler may destroy connections (a channel closing on
    // a disconnection): walk a copy and skip the ones that went away.
    const std::vector<TTapiConnection*> connections(FConnections.begin(), FConnections.end());
    for (TTapiConnection* connection : connections) {
        if (FConnections.count(connection) && connection->FCall == hDevice) {
            connection->HandleLineMessage(hDevice, dwMsg, dwCallbackInstance, dwParam1, dwParam2,
                                          dwParam3);
        }
    }
}

#pragma once

#include "TTapi.h"

// Holds the process's one TTapi, created by Init; never deletes it (it
// lives until the process ends).
class TTapiVault {
public:
    // Creates the TTapi; on an error the vault stays empty.
    void Init();
    TTapi* Get() const { return FTapi; }

private:
    TTapi* FTapi = nullptr;
};

extern TTapiVault TapiVault;

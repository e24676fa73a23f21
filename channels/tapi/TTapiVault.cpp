#include "TTapiVault.h"

#include "Exception.h"

TTapiVault TapiVault;

void TTapiVault::Init() {
    if (FTapi != nullptr) {
        return;
    }
    try {
        FTapi = new TTapi();
    } catch (const Exception&) {
        FTapi = nullptr;
    }
}

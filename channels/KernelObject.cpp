#include "KernelObject.h"

#include <unistd.h>

void KernelObject::Reset(int handle) noexcept {
    if (FHandle >= 0 && FHandle != handle) {
        ::close(FHandle);
    }
    FHandle = handle;
}

int KernelObject::Release() noexcept {
    const int handle = FHandle;
    FHandle = -1;
    return handle;
}

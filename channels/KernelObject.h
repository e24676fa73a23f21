#pragma once

#include "Noncopyable.h"

// Owns one file descriptor (a port, an eventfd) and closes it when it goes
// out of scope. -1 means "none".
class KernelObject : public Noncopyable {
public:
    explicit KernelObject(int handle = -1) noexcept : FHandle(handle) {}
    ~KernelObject() { Reset(); }

    int Handle() const { return FHandle; }
    bool Valid() const { return FHandle >= 0; }
    // Closes the descriptor held so far and takes `handle` instead.
    void Reset(int handle = -1) noexcept;
    // Gives the descriptor up without closing it.
    int Release() noexcept;

private:
    int FHandle;
};

#pragma once

#include "Noncopyable.h"

#include <thread>

// A thread whose body is the virtual Run of the derived object. The derived
// class ends and joins its thread in its own destructor (Run must not outlive
// the object); the join here only keeps a forgotten thread from running on
// after the object is gone.
class Thread : public Noncopyable {
public:
    Thread() = default;
    virtual ~Thread();

    virtual void Run() = 0;

    // Starts a new thread running Run; a previous thread of this object is
    // waited for first. Raises win_error when the system refuses a thread.
    void Start();
    // Waits for the thread to end; nothing when none was started.
    void Join();
    // A thread was started and not yet joined (it may have left Run already).
    bool Started() const { return FThread.joinable(); }

private:
    std::thread FThread;
};

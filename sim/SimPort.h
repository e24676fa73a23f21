#pragma once

#include "SimClock.h"

#include <poll.h>
#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace zqsim {

// What a port's open, service or re-opening brought about.
struct PortEvent {
    bool connected = false;  // a host has just connected over the network
    std::string announce;    // a line for standard output; empty = none
    std::string note;        // a line for the log; empty = none
};

// Where the simulated device meets its host: a line (a pseudo-terminal or a
// serial device) or a network connection. The simulator's loop waits on
// Fd() for requests and on Watch() for the port's own business, and calls
// Service when that is ready or NextWake has come. Not thread-safe.
class SimPort {
public:
    virtual ~SimPort() = default;

    // False, with a message, when the port cannot be opened.
    virtual bool Open(PortEvent& event, std::string& error) = 0;

    // The non-blocking descriptor the bytes go through; -1 while no host is
    // connected.
    virtual int Fd() const = 0;
    // Reads up to `size` bytes: how many came, 0 when there are no more for
    // now, -1 when the host is gone (the port is to be re-opened).
    virtual ssize_t Read(uint8_t* data, size_t size) = 0;
    // Writes as write(2) does: how many bytes went, or -1 with errno (EAGAIN
    // when the way is full for now). Never raises SIGPIPE.
    virtual ssize_t Write(const uint8_t* data, size_t size) = 0;

    // One more descriptor to wait for, with its events; fd -1 when none.
    virtual pollfd Watch() const { return {-1, 0, 0}; }
    // When Service is due even if Watch() stays quiet; none when nothing is.
    virtual std::optional<SimTime> NextWake() const { return std::nullopt; }
    // Called with Watch()'s `revents` when it is ready, or with 0 when
    // NextWake has come.
    virtual PortEvent Service(short revents, SimTime now) = 0;

    // The host is gone or is being cut off: a line is hung up and opened
    // afresh, a network connection is closed and the next one awaited.
    // False, with a message, when the port cannot carry on.
    virtual bool Reopen(PortEvent& event, std::string& error) = 0;
    // Closes everything and removes what the port made (a link).
    virtual void Shutdown() = 0;

    // The line's path, or the network address listened on or called.
    virtual const std::string& Path() const = 0;
};

}  // namespace zqsim

#pragma once

#include "KernelObject.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

struct addrinfo;

// One name look-up, shared by everyone who waits for it.
class NameLookup {
public:
    NameLookup();
    ~NameLookup();
    NameLookup(const NameLookup&) = delete;
    NameLookup& operator=(const NameLookup&) = delete;

    // An eventfd that becomes readable when the look-up has ended; poll it,
    // never read it (others wait on it too).
    int DoneHandle() const { return FDone.Handle(); }
    bool Ready() const { return FReady.load(std::memory_order_acquire); }
    // Once Ready: the resolver's status (getaddrinfo's: 0 = found) and the
    // addresses, owned here, with port 0.
    int Status() const { return FStatus; }
    const addrinfo* List() const { return FList; }

private:
    friend class NameLookups;

    KernelObject FDone;
    std::atomic<bool> FReady{false};
    int FStatus = 0;
    addrinfo* FList = nullptr;
};

// Name look-ups, each on a thread of its own, so that a slow name server
// cannot hold a worker past its connection limit or past an abort. A
// look-up outlives a caller that gave up on it and runs to its end; so that
// a user who tries again and again while the name server is dead does not
// pile up threads, a name has at most one look-up running (a new attempt
// waits for that one), and at most `maxRunning` run at a time. Any thread.
class NameLookups {
public:
    // Looks `host` up and hands back the list (one getaddrinfo can free),
    // returning getaddrinfo's status. Runs on the look-up's thread.
    using Resolver = std::function<int(const std::string& host, addrinfo** list)>;

    NameLookups(Resolver resolve, size_t maxRunning);

    // The look-up of `host` still running, or a new one; null when
    // `maxRunning` look-ups of other names are running. Raises
    // std::system_error when no thread or eventfd can be had.
    std::shared_ptr<const NameLookup> Start(const std::string& host);
    // Look-ups started and not yet ended.
    size_t Running() const;
    size_t MaxRunning() const { return FMaxRunning; }

    // The look-ups of the process's connections, with the system's resolver.
    static NameLookups& Process();

private:
    struct Shared;

    std::shared_ptr<Shared> FShared;  // also held by the running threads
    size_t FMaxRunning;
};

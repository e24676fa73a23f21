#pragma once

#include "Deadline.h"
#include "KernelObject.h"
#include "NetEndpoint.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Texts of the network's errors (the fixed part; the system's reason goes
// into the exception's detail).
inline constexpr const char* kNetNotConnectedText = "Соединение не установлено";
inline constexpr const char* kNetBrokenText = "Соединение разорвано";
inline constexpr const char* kNetAbortedText = "Обмен прерван";

// One TCP connection of a network channel, for its worker thread: connect
// to an address, or listen and take the first peer that calls; then bounded
// reads and whole writes. Every wait also ends when Abort is called (from
// any thread), so that a close or the channel's end never waits for a
// connection limit or an answer time-out.
//
// Failures raise Exception with one of the texts above and the detail
// (the address and what the system said). Worker thread only, except Abort.
class NetLink {
public:
    using Clock = std::chrono::steady_clock;

    NetLink();
    ~NetLink() = default;
    NetLink(const NetLink&) = delete;
    NetLink& operator=(const NetLink&) = delete;

    // Any thread: the wait under way and every later one fail with
    // kNetAbortedText, until ClearAbort (unless `permanent`).
    void Abort(bool permanent);
    void ClearAbort();

    // Connects to `endpoint` within `timeoutMs` (name resolution included,
    // through NameLookups::Process: an attempt for a name whose look-up is
    // still running waits for that one), trying each address the name has.
    // Returns the address connected to.
    std::string Connect(const NetEndpoint& endpoint, int timeoutMs);
    // Listens on `endpoint` (empty host: every address, IPv6 and IPv4; port
    // 0: one the system picks) until a peer from `allowed` (empty: anyone)
    // connects, at most `timeoutMs`. `listening` gets the address actually
    // listened on (its real port) before the wait begins. The listening
    // socket is closed as soon as the peer is taken; a peer not allowed is
    // disconnected and handed to `refused`. Returns the peer.
    using AddressNote = std::function<void(const std::string&)>;
    std::string Accept(const NetEndpoint& endpoint, const std::vector<std::string>& allowed,
                       int timeoutMs, const AddressNote& listening, const AddressNote& refused);
    void Close();
    bool IsOpen() const { return FSocket.Valid(); }
    const std::string& Peer() const { return FPeer; }

    // Sends all `size` bytes; a connection that fails raises kNetBrokenText.
    void Send(const uint8_t* data, size_t size);
    // Waits up to `waitMs` for bytes (0: only what is there) and reads up
    // to `size`; 0 when none came in time. The peer closing, a reset or a
    // dead connection raises kNetBrokenText.
    size_t Receive(uint8_t* data, size_t size, int waitMs);

private:
    // Waits until `fd` is ready for `events` or the time is up (false);
    // raises kNetAbortedText on an abort.
    bool Wait(int fd, short events, int waitMs);
    void Adopt(int socket, const std::string& peer);

    KernelObject FSocket;
    KernelObject FAbort;  // eventfd: readable = abort
    std::atomic<bool> FForever{false};
    std::string FPeer;
};

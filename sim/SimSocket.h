#pragma once

#include "SimLog.h"
#include "SimPort.h"

#include <sys/socket.h>
#include <optional>
#include <string>
#include <vector>

namespace zqsim {

// The device on the network, as behind a serial device server in raw TCP
// mode: Modbus RTU frames, CRC included, unchanged on a TCP connection.
struct NetSettings {
    enum class Mode { None, Listen, Connect };
    Mode mode = Mode::None;
    std::string host;      // a name or an address, IPv6 without brackets
    int port = 0;          // listening: 0..65535, 0 = any free port; calling: 1..65535
    int retryMs = 500;     // between calls, and from a connection's end to the next call
    int attemptMs = 5000;  // one call given up after this long
};

// "[ADDR:]PORT" to listen on (ADDR defaults to 127.0.0.1) or "HOST:PORT" to
// call; an IPv6 address in brackets ("[::1]:502"). False, with a message,
// when the text is neither.
bool ParseNetAddress(const std::string& text, bool listening, NetSettings& settings,
                     std::string& error);

// "host:port", brackets round an IPv6 address.
std::string NetAddressText(const std::string& host, int port);

// A socket bound to settings' host and port and never listened on: a call
// there is refused, and no other program takes the port while it is held.
// -1, with a message, when it cannot be bound; `address` receives the
// address bound, as Open announces it.
int BindRefusing(const NetSettings& settings, std::string& address, std::string& error);

// The network port: listens and serves one client at a time (the next
// waits in the backlog until the one before has closed), or calls out as a
// modem behind NAT would, again every retryMs until a call gets through and
// again after each connection's end. Sockets are non-blocking, IPv4 and
// IPv6 through getaddrinfo; connections have TCP_NODELAY, so each write
// leaves as a segment of its own. Not thread-safe.
//
// Listening, Open announces the address listened on ("127.0.0.1:40123",
// "[::1]:40123"); calling, each connection made is announced as
// "connected to ADDRESS".
class SimSocket final : public SimPort {
public:
    SimSocket(NetSettings settings, SimLog log);
    ~SimSocket() override;
    SimSocket(const SimSocket&) = delete;
    SimSocket& operator=(const SimSocket&) = delete;

    bool Open(PortEvent& event, std::string& error) override;
    int Fd() const override { return connection_; }
    // The peer's end of the stream or a reset loses the connection.
    ssize_t Read(uint8_t* data, size_t size) override;
    ssize_t Write(const uint8_t* data, size_t size) override;
    pollfd Watch() const override;
    std::optional<SimTime> NextWake() const override;
    PortEvent Service(short revents, SimTime now) override;
    // Closes the connection (what the peer sent last is read away first, so
    // that the close does not reset the connection and lose the answer
    // written last); listening takes the next client, calling calls again
    // after retryMs.
    bool Reopen(PortEvent& event, std::string& error) override;
    void Shutdown() override;
    const std::string& Path() const override { return path_; }

private:
    struct Address {
        sockaddr_storage address{};
        socklen_t length = 0;
    };

    bool Listen(PortEvent& event, std::string& error);
    void Accept(PortEvent& event, SimTime now);
    // Starts a call to the next address of the round; when none is left,
    // the next round starts after retryMs.
    void Call(PortEvent& event, SimTime now);
    void CallDone(PortEvent& event, SimTime now);
    void CallFailed(const std::string& reason, PortEvent& event, SimTime now);
    void Adopt(int socket, PortEvent& event);
    static void CloseFd(int& fd);

    NetSettings settings_;
    SimLog log_;
    std::string path_;
    std::vector<Address> addresses_;  // where a call goes, in getaddrinfo's order
    size_t nextAddress_ = 0;
    int listener_ = -1;
    int calling_ = -1;  // a call under way
    int connection_ = -1;
    std::optional<SimTime> wake_;  // listening: accept again; calling: next call or give up
    std::string lastFailure_;      // logged once until it changes
};

}  // namespace zqsim

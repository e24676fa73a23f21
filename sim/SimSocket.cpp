#include "SimSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace zqsim {

namespace {

constexpr char kDefaultListenHost[] = "127.0.0.1";

bool ParsePort(const std::string& text, int lo, int& port) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const int value = std::stoi(text);
    if (value < lo || value > 65535) {
        return false;
    }
    port = value;
    return true;
}

std::string AddressText(const sockaddr* address) {
    char host[INET6_ADDRSTRLEN] = "?";
    int port = 0;
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        inet_ntop(AF_INET, &v4->sin_addr, host, sizeof host);
        port = ntohs(v4->sin_port);
    } else if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        inet_ntop(AF_INET6, &v6->sin6_addr, host, sizeof host);
        port = ntohs(v6->sin6_port);
    }
    return NetAddressText(host, port);
}

// The socket's own address (`get` getsockname) or its peer's (getpeername).
std::string SocketAddress(int fd, int (*get)(int, sockaddr*, socklen_t*)) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (get(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return "?";
    }
    return AddressText(reinterpret_cast<sockaddr*>(&address));
}

addrinfo* Resolve(const NetSettings& settings, bool passive, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
    addrinfo* list = nullptr;
    const int status =
        getaddrinfo(settings.host.c_str(), std::to_string(settings.port).c_str(), &hints, &list);
    if (status != 0) {
        error = "cannot resolve " + settings.host + ": " + gai_strerror(status);
        return nullptr;
    }
    return list;
}

// A socket bound to the first of settings' addresses that takes it, and
// listening when asked; -1, with a message, when none does.
int BoundSocket(const NetSettings& settings, bool listening, std::string& error) {
    addrinfo* list = Resolve(settings, true, error);
    if (list == nullptr) {
        return -1;
    }
    std::string reason = "no address";
    int bound = -1;
    for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
        const int fd =
            socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        const int on = 1;
        if (fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
            bind(fd, a->ai_addr, a->ai_addrlen) == 0 && (!listening || listen(fd, 4) == 0)) {
            bound = fd;
            break;
        }
        reason = std::strerror(errno);
        if (fd >= 0) {
            close(fd);
        }
    }
    freeaddrinfo(list);
    if (bound < 0) {
        error = std::string(listening ? "cannot listen on " : "cannot bind ") +
                NetAddressText(settings.host, settings.port) + ": " + reason;
    }
    return bound;
}

}  // namespace

int BindRefusing(const NetSettings& settings, std::string& address, std::string& error) {
    const int fd = BoundSocket(settings, false, error);
    if (fd >= 0) {
        address = SocketAddress(fd, getsockname);
    }
    return fd;
}

bool ParseNetAddress(const std::string& text, bool listening, NetSettings& settings,
                     std::string& error) {
    std::string host;
    std::string portText;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            error = "'" + text + "': expected [IPv6]:PORT";
            return false;
        }
        host = text.substr(1, close - 1);
        portText = text.substr(close + 2);
    } else {
        const size_t colon = text.rfind(':');
        if (colon == std::string::npos) {
            portText = text;
            host = listening ? kDefaultListenHost : "";
        } else {
            host = text.substr(0, colon);
            portText = text.substr(colon + 1);
        }
        if (host.find(':') != std::string::npos) {
            error = "'" + text + "': an IPv6 address goes in brackets, [ADDRESS]:PORT";
            return false;
        }
    }
    if (host.empty() || host.find_first_of(" \t[]") != std::string::npos) {
        error = "'" + text + "': expected " + (listening ? "[ADDRESS:]PORT" : "HOST:PORT");
        return false;
    }
    int port = 0;
    if (!ParsePort(portText, listening ? 0 : 1, port)) {
        error = "'" + text + "': the port must be " + (listening ? "0" : "1") + "..65535";
        return false;
    }
    settings.mode = listening ? NetSettings::Mode::Listen : NetSettings::Mode::Connect;
    settings.host = host;
    settings.port = port;
    return true;
}

std::string NetAddressText(const std::string& host, int port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

SimSocket::SimSocket(NetSettings settings, SimLog log)
    : settings_(std::move(settings)), log_(log) {}

SimSocket::~SimSocket() {
    Shutdown();
}

void SimSocket::CloseFd(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

void SimSocket::Shutdown() {
    CloseFd(connection_);
    CloseFd(calling_);
    CloseFd(listener_);
    wake_.reset();
}

bool SimSocket::Open(PortEvent& event, std::string& error) {
    Shutdown();
    if (settings_.mode == NetSettings::Mode::Listen) {
        return Listen(event, error);
    }
    addrinfo* list = Resolve(settings_, false, error);
    if (list == nullptr) {
        return false;
    }
    addresses_.clear();
    for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
        Address address;
        std::memcpy(&address.address, a->ai_addr, a->ai_addrlen);
        address.length = a->ai_addrlen;
        addresses_.push_back(address);
    }
    freeaddrinfo(list);
    path_ = NetAddressText(settings_.host, settings_.port);
    log_.Note("calling " + path_);
    nextAddress_ = 0;
    Call(event, SimClock::now());
    return true;
}

bool SimSocket::Listen(PortEvent& event, std::string& error) {
    listener_ = BoundSocket(settings_, true, error);
    if (listener_ < 0) {
        return false;
    }
    path_ = SocketAddress(listener_, getsockname);
    event.announce = path_;
    log_.Note("listening on " + path_);
    return true;
}

pollfd SimSocket::Watch() const {
    if (connection_ >= 0) {
        return {-1, 0, 0};
    }
    if (listener_ >= 0 && !wake_) {
        return {listener_, POLLIN, 0};
    }
    return {calling_, POLLOUT, 0};
}

std::optional<SimTime> SimSocket::NextWake() const {
    return connection_ < 0 ? wake_ : std::nullopt;
}

PortEvent SimSocket::Service(short revents, SimTime now) {
    PortEvent event;
    if (connection_ >= 0) {
        return event;
    }
    const bool due = wake_ && now >= *wake_;
    if (listener_ >= 0) {
        if (revents != 0 || due) {
            wake_.reset();
            Accept(event, now);
        }
    } else if (calling_ >= 0) {
        if (revents != 0) {
            CallDone(event, now);
        } else if (due) {
            CallFailed("no answer in " + std::to_string(settings_.attemptMs) + " ms", event, now);
        }
    } else if (due) {
        nextAddress_ = 0;
        Call(event, now);
    }
    return event;
}

void SimSocket::Accept(PortEvent& event, SimTime now) {
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
        Adopt(fd, event);
        log_.Note("connection from " + SocketAddress(fd, getpeername));
        return;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
        // Out of descriptors or memory: the waiting client stays in the
        // backlog, and the listener is not watched for a while, or the
        // loop would spin on it.
        log_.Note(std::string("cannot take a connection: ") + std::strerror(errno));
        wake_ = now + std::chrono::milliseconds(settings_.retryMs);
    }
}

void SimSocket::Call(PortEvent& event, SimTime now) {
    wake_.reset();
    if (nextAddress_ >= addresses_.size()) {
        CallFailed("no address", event, now);
        return;
    }
    const Address& a = addresses_[nextAddress_++];
    const int fd = socket(a.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        CallFailed(std::strerror(errno), event, now);
        return;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&a.address), a.length) == 0) {
        Adopt(fd, event);
        return;
    }
    if (errno == EINPROGRESS) {
        calling_ = fd;
        wake_ = now + std::chrono::milliseconds(settings_.attemptMs);
        return;
    }
    const std::string reason = std::strerror(errno);
    close(fd);
    CallFailed(reason, event, now);
}

void SimSocket::CallDone(PortEvent& event, SimTime now) {
    int status = 0;
    socklen_t length = sizeof status;
    if (getsockopt(calling_, SOL_SOCKET, SO_ERROR, &status, &length) != 0) {
        status = errno;
    }
    if (status != 0) {
        CallFailed(std::strerror(status), event, now);
        return;
    }
    const int fd = calling_;
    calling_ = -1;
    Adopt(fd, event);
}

void SimSocket::CallFailed(const std::string& reason, PortEvent& event, SimTime now) {
    CloseFd(calling_);
    wake_.reset();
    if (nextAddress_ < addresses_.size()) {
        Call(event, now);
        return;
    }
    // A peer that keeps refusing would fill the log twice a second: a
    // failure is written down when its reason changes.
    if (reason != lastFailure_) {
        lastFailure_ = reason;
        log_.Note("cannot call " + path_ + ": " + reason + "; calling again every " +
                  std::to_string(settings_.retryMs) + " ms");
    }
    wake_ = now + std::chrono::milliseconds(settings_.retryMs);
}

void SimSocket::Adopt(int socket, PortEvent& event) {
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    connection_ = socket;
    wake_.reset();
    lastFailure_.clear();
    event.connected = true;
    if (settings_.mode == NetSettings::Mode::Connect) {
        event.announce = "connected to " + SocketAddress(socket, getpeername);
        log_.Note(event.announce);
    }
}

ssize_t SimSocket::Read(uint8_t* data, size_t size) {
    const ssize_t n = recv(connection_, data, size, 0);
    if (n > 0) {
        return n;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return 0;
    }
    return -1;  // the peer's end of the stream, a reset, no connection
}

ssize_t SimSocket::Write(const uint8_t* data, size_t size) {
    return send(connection_, data, size, MSG_NOSIGNAL);
}

bool SimSocket::Reopen(PortEvent&, std::string&) {
    if (connection_ >= 0) {
        // Closing with unread bytes would reset the connection, and a reset
        // may throw away the answer the peer has not read yet.
        shutdown(connection_, SHUT_WR);
        uint8_t away[4096];
        for (int i = 0; i < 16 && recv(connection_, away, sizeof away, 0) > 0; ++i) {
        }
        CloseFd(connection_);
    }
    if (settings_.mode == NetSettings::Mode::Connect) {
        wake_ = SimClock::now() + std::chrono::milliseconds(settings_.retryMs);
    }
    return true;
}

}  // namespace zqsim

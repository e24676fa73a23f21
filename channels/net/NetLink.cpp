#include "NetLink.h"

#include "Exception.h"
#include "NameLookups.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = NetLink::Clock;

// A dead peer is noticed within about half a minute: keep-alive probes after
// 10 s of silence, every 5 s, three of them; unacknowledged data 20 s.
constexpr int kKeepIdleS = 10;
constexpr int kKeepIntervalS = 5;
constexpr int kKeepCount = 3;
constexpr unsigned kUserTimeoutMs = 20000;
// A send that cannot go on for this long counts as a dead connection.
constexpr int kSendStallMs = 20000;

std::string SystemText(int code) {
    return std::strerror(code);
}

[[noreturn]] void Raise(const char* text, const std::string& detail) {
    throw Exception(text, detail);
}

// The numeric address of a socket address; IPv4 mapped into IPv6 shown as IPv4.
std::string AddressText(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    } else if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
            ::inet_ntop(AF_INET, &v6->sin6_addr.s6_addr[12], text, sizeof text);
        } else {
            ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        }
    }
    return text;
}

int PortOf(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in*>(address)->sin_port);
    }
    if (address->sa_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(address)->sin6_port);
    }
    return 0;
}

std::string EndpointText(const sockaddr* address) {
    return NetEndpoint{AddressText(address), PortOf(address)}.Text();
}

// An address in its canonical numeric form; anything else as it stands.
std::string Canonical(const std::string& address) {
    in_addr v4{};
    if (::inet_pton(AF_INET, address.c_str(), &v4) == 1) {
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &v4, text, sizeof text);
        return text;
    }
    in6_addr v6{};
    if (::inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
        sockaddr_in6 s{};
        s.sin6_family = AF_INET6;
        s.sin6_addr = v6;
        return AddressText(reinterpret_cast<const sockaddr*>(&s));
    }
    return address;
}

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const {
        if (list != nullptr) {
            ::freeaddrinfo(list);
        }
    }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoDeleter>;

// `address` (of `size` bytes, at most a sockaddr_storage) with `port`.
sockaddr_storage WithPort(const sockaddr* address, socklen_t size, int port) {
    sockaddr_storage target{};
    std::memcpy(&target, address, std::min<size_t>(size, sizeof target));
    const uint16_t net = htons(static_cast<uint16_t>(port));
    if (target.ss_family == AF_INET) {
        reinterpret_cast<sockaddr_in*>(&target)->sin_port = net;
    } else if (target.ss_family == AF_INET6) {
        reinterpret_cast<sockaddr_in6*>(&target)->sin6_port = net;
    }
    return target;
}

// Numeric addresses only: names go through NameLookups.
addrinfo Hints(bool passive) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = (passive ? AI_PASSIVE : 0) | AI_NUMERICHOST | AI_NUMERICSERV;
    return hints;
}

}  // namespace

NetLink::NetLink() : FAbort(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void NetLink::Abort(bool permanent) {
    if (permanent) {
        FForever.store(true);
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(FAbort.Handle(), &one, sizeof one);
}

void NetLink::ClearAbort() {
    if (FForever.load()) {
        return;
    }
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(FAbort.Handle(), &count, sizeof count);
}

bool NetLink::Wait(int fd, short events, int waitMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {FAbort.Handle(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, MsUntil(deadline));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            Raise(kNetBrokenText, SystemText(errno));
        }
        if (fds[1].revents & POLLIN) {
            Raise(kNetAbortedText, {});
        }
        if (ready == 0) {
            return false;
        }
        if (fds[0].revents & POLLNVAL) {
            Raise(kNetBrokenText, SystemText(EBADF));
        }
        // Readiness, a hang-up or an error: the call that follows tells which.
        return true;
    }
}

void NetLink::Adopt(int socket, const std::string& peer) {
    const int on = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleS, sizeof kKeepIdleS);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalS, sizeof kKeepIntervalS);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, &kKeepCount, sizeof kKeepCount);
    ::setsockopt(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUserTimeoutMs, sizeof kUserTimeoutMs);
    FSocket.Reset(socket);
    FPeer = peer;
}

std::string NetLink::Connect(const NetEndpoint& endpoint, int timeoutMs) {
    Close();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string where = endpoint.Text();
    // The addresses, without their port: from the address itself, or from
    // a look-up of the name, kept while they are used.
    AddrInfoList numeric;
    std::shared_ptr<const NameLookup> lookup;
    const addrinfo* addresses = nullptr;
    addrinfo hints = Hints(false);
    addrinfo* found = nullptr;
    if (::getaddrinfo(endpoint.host.c_str(), nullptr, &hints, &found) == 0) {
        numeric.reset(found);
        addresses = found;
    } else {
        NameLookups& lookups = NameLookups::Process();
        try {
            lookup = lookups.Start(endpoint.host);
        } catch (const std::system_error& e) {
            Raise(kNetNotConnectedText, where + ": " + SystemText(e.code().value()));
        }
        if (!lookup) {
            Raise(kNetNotConnectedText, where + ": имя не найдено: сервер имён ещё не ответил на " +
                                            std::to_string(lookups.MaxRunning()) +
                                            " прежних запросов");
        }
        if (!Wait(lookup->DoneHandle(), POLLIN, MsUntil(deadline)) || !lookup->Ready()) {
            Raise(kNetNotConnectedText, where + ": имя не найдено за отведённое время");
        }
        if (lookup->Status() != 0) {
            Raise(kNetNotConnectedText,
                  where + ": имя не найдено (" + ::gai_strerror(lookup->Status()) + ")");
        }
        addresses = lookup->List();
    }
    std::string failures;
    for (const addrinfo* a = addresses; a != nullptr; a = a->ai_next) {
        const sockaddr_storage address = WithPort(a->ai_addr, a->ai_addrlen, endpoint.port);
        const auto* target = reinterpret_cast<const sockaddr*>(&address);
        const std::string text = EndpointText(target);
        KernelObject socket(
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        int code = 0;
        if (!socket.Valid()) {
            code = errno;
        } else if (::connect(socket.Handle(), target, a->ai_addrlen) != 0) {
            code = errno;
            if (code == EINPROGRESS) {
                if (!Wait(socket.Handle(), POLLOUT, MsUntil(deadline))) {
                    code = ETIMEDOUT;
                } else {
                    socklen_t size = sizeof code;
                    ::getsockopt(socket.Handle(), SOL_SOCKET, SO_ERROR, &code, &size);
                }
            }
        }
        if (code == 0) {
            Adopt(socket.Release(), text);
            return text;
        }
        failures += (failures.empty() ? "" : "; ") + text + ": " + SystemText(code);
        if (MsUntil(deadline) == 0) {
            break;
        }
    }
    Raise(kNetNotConnectedText, failures.empty() ? where : failures);
}

std::string NetLink::Accept(const NetEndpoint& endpoint, const std::vector<std::string>& allowed,
                            int timeoutMs, const AddressNote& listening,
                            const AddressNote& refused) {
    Close();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string service = std::to_string(endpoint.port);
    addrinfo hints = Hints(true);
    addrinfo* found = nullptr;
    // Every address: IPv6 with IPv4 mapped in, where the system has IPv6.
    const char* host = endpoint.host.empty() ? "::" : endpoint.host.c_str();
    int status = ::getaddrinfo(host, service.c_str(), &hints, &found);
    if (status != 0 && endpoint.host.empty()) {
        status = ::getaddrinfo("0.0.0.0", service.c_str(), &hints, &found);
    }
    if (status != 0) {
        Raise(kNetNotConnectedText, endpoint.Text() + ": " + ::gai_strerror(status));
    }
    AddrInfoList list(found);
    KernelObject listener;
    int code = 0;
    for (const addrinfo* a = list.get(); a != nullptr && !listener.Valid(); a = a->ai_next) {
        KernelObject socket(
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (!socket.Valid()) {
            code = errno;
            continue;
        }
        const int on = 1;
        const int off = 0;
        ::setsockopt(socket.Handle(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (a->ai_family == AF_INET6 && endpoint.host.empty()) {
            ::setsockopt(socket.Handle(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        }
        if (::bind(socket.Handle(), a->ai_addr, a->ai_addrlen) != 0 ||
            ::listen(socket.Handle(), 4) != 0) {
            code = errno;
            continue;
        }
        listener.Reset(socket.Release());
    }
    if (!listener.Valid()) {
        Raise(kNetNotConnectedText, endpoint.Text() + ": " + SystemText(code));
    }
    // The address as bound: port 0 becomes the one the system gave.
    sockaddr_storage bound{};
    socklen_t boundSize = sizeof bound;
    const std::string where =
        ::getsockname(listener.Handle(), reinterpret_cast<sockaddr*>(&bound), &boundSize) == 0
            ? EndpointText(reinterpret_cast<const sockaddr*>(&bound))
            : endpoint.Text();
    listening(where);
    std::vector<std::string> canonical;
    for (const std::string& peer : allowed) {
        canonical.push_back(Canonical(peer));
    }
    for (;;) {
        if (!Wait(listener.Handle(), POLLIN, MsUntil(deadline))) {
            Raise(kNetNotConnectedText,
                  where + ": никто не позвонил за " + std::to_string(timeoutMs / 1000) + " с");
        }
        sockaddr_storage address{};
        socklen_t size = sizeof address;
        KernelObject peer(::accept4(listener.Handle(), reinterpret_cast<sockaddr*>(&address), &size,
                                    SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!peer.Valid()) {
            if (errno == EAGAIN || errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            Raise(kNetNotConnectedText, where + ": " + SystemText(errno));
        }
        const auto* from = reinterpret_cast<const sockaddr*>(&address);
        const std::string text = EndpointText(from);
        if (!canonical.empty() &&
            std::find(canonical.begin(), canonical.end(), AddressText(from)) == canonical.end()) {
            peer.Reset();
            refused(text);
            continue;
        }
        listener.Reset();  // one peer: nobody else gets in
        Adopt(peer.Release(), text);
        return text;
    }
}

void NetLink::Close() {
    FSocket.Reset();
    FPeer.clear();
}

void NetLink::Send(const uint8_t* data, size_t size) {
    if (!FSocket.Valid()) {
        Raise(kNetBrokenText, {});
    }
    size_t done = 0;
    while (done < size) {
        const ssize_t put = ::send(FSocket.Handle(), data + done, size - done, MSG_NOSIGNAL);
        if (put > 0) {
            done += static_cast<size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!Wait(FSocket.Handle(), POLLOUT, kSendStallMs)) {
                Raise(kNetBrokenText, FPeer + ": " + SystemText(ETIMEDOUT));
            }
            continue;
        }
        Raise(kNetBrokenText, FPeer + ": " + SystemText(errno));
    }
}

size_t NetLink::Receive(uint8_t* data, size_t size, int waitMs) {
    if (!FSocket.Valid()) {
        Raise(kNetBrokenText, {});
    }
    // Without waiting (0) too, so that an abort is seen.
    if (!Wait(FSocket.Handle(), POLLIN, waitMs)) {
        return 0;
    }
    for (;;) {
        const ssize_t got = ::recv(FSocket.Handle(), data, size, 0);
        if (got > 0) {
            return static_cast<size_t>(got);
        }
        if (got == 0) {
            Raise(kNetBrokenText, FPeer + " закрыл соединение");
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        Raise(kNetBrokenText, FPeer + ": " + SystemText(errno));
    }
}

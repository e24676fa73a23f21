#include "NetEndpoint.h"

#include <algorithm>
#include <cctype>

#include <arpa/inet.h>

namespace {

constexpr const char* kAddressFormatText =
    "Неверный сетевой адрес: ожидается узел:порт, например 192.168.0.10:4001 или [fe80::1]:4001";
constexpr const char* kListenFormatText =
    "Неверный адрес ожидания: ожидается [адрес:]порт, например 4001 или 0.0.0.0:4001";
constexpr const char* kPortText = "Неверный номер порта: ожидается число от 1 до 65535";
// Listening, 0 asks the system for a free port.
constexpr const char* kListenPortText = "Неверный номер порта: ожидается число от 0 до 65535";

bool Fail(std::string* error, const char* text) {
    if (error != nullptr) {
        *error = text;
    }
    return false;
}

bool ParsePort(const std::string& text, int minPort, int& port) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
        return false;
    }
    port = std::stoi(text);
    return port >= minPort && port <= 65535;
}

// Splits "host:port" or "[v6]:port"; `listen` lets the host be left out
// and the port be 0 (the system picks one).
bool Split(const std::string& text, bool listen, NetEndpoint& endpoint, std::string* error,
           const char* formatText) {
    if (text.empty() ||
        std::any_of(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); })) {
        return Fail(error, formatText);
    }
    std::string host;
    std::string port;
    if (text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            return Fail(error, formatText);
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
        if (host.empty() || host.find(':') == std::string::npos) {
            return Fail(error, formatText);
        }
    } else {
        const size_t colon = text.rfind(':');
        if (colon == std::string::npos) {
            if (!listen) {
                return Fail(error, formatText);
            }
            port = text;
        } else {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
            // An IPv6 address needs its brackets, or its last group would
            // be taken for the port.
            if (host.empty() || host.find_first_of(":[]") != std::string::npos) {
                return Fail(error, formatText);
            }
        }
    }
    if (!ParsePort(port, listen ? 0 : 1, endpoint.port)) {
        return Fail(error, listen ? kListenPortText : kPortText);
    }
    endpoint.host = host;
    return true;
}

}  // namespace

std::string NetEndpoint::Text() const {
    const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    return shown + ":" + std::to_string(port);
}

std::optional<NetEndpoint> ParseConnectAddress(const std::string& text, std::string* error) {
    NetEndpoint endpoint;
    if (!Split(text, false, endpoint, error, kAddressFormatText)) {
        return std::nullopt;
    }
    return endpoint;
}

std::optional<NetEndpoint> ParseListenAddress(const std::string& text, std::string* error) {
    NetEndpoint endpoint;
    if (!Split(text, true, endpoint, error, kListenFormatText)) {
        return std::nullopt;
    }
    return endpoint;
}

std::vector<std::string> SplitPeerList(const std::string& text) {
    std::vector<std::string> peers;
    std::string current;
    for (const char c : text) {
        if (c == ',' || c == ';' || std::isspace(static_cast<unsigned char>(c))) {
            if (!current.empty()) {
                peers.push_back(current);
                current.clear();
            }
        } else {
            current += c;
        }
    }
    if (!current.empty()) {
        peers.push_back(current);
    }
    return peers;
}

bool CheckPeerList(const std::string& text, std::string* error) {
    for (const std::string& peer : SplitPeerList(text)) {
        unsigned char address[sizeof(in6_addr)];
        if (::inet_pton(AF_INET, peer.c_str(), address) != 1 &&
            ::inet_pton(AF_INET6, peer.c_str(), address) != 1) {
            if (error != nullptr) {
                *error =
                    "Неверный адрес в списке разрешённых: " + peer + " (нужен адрес IPv4 или IPv6)";
            }
            return false;
        }
    }
    return true;
}

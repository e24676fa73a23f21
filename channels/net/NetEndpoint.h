#pragma once

#include <optional>
#include <string>
#include <vector>

// A network address as the connection settings hold it: "host:port",
// "[IPv6]:port", or, to listen on, "port" and "address:port" as well.
struct NetEndpoint {
    std::string host;  // a name, an IPv4 or an IPv6 address (no brackets); empty = any
    int port = 0;      // 1..65535; to listen on, 0 as well (the system picks one)

    // "host:port", with brackets around an IPv6 address.
    std::string Text() const;
};

// "host:port" or "[IPv6]:port". Null with a text for the user when it is
// neither (the host empty, the port missing or outside 1..65535, an IPv6
// address without brackets, spaces).
std::optional<NetEndpoint> ParseConnectAddress(const std::string& text, std::string* error);
// "[address:]port" for listening; a missing address is every address, port 0
// one the system picks.
std::optional<NetEndpoint> ParseListenAddress(const std::string& text, std::string* error);
// The peer addresses let in, separated by spaces, commas or semicolons.
std::vector<std::string> SplitPeerList(const std::string& text);
// False with a text for the user when an entry of the list is not a numeric
// IPv4 or IPv6 address (peers are told apart by their address only).
bool CheckPeerList(const std::string& text, std::string* error);

#pragma once

#include "PtyDevice.h"
#include "TNetQueueIDChanel.h"

#include <string>
#include <vector>

// What the network channel's tests share: a record of a channel's events,
// the sockets the test's peers use, and what the channel's notes tell.

// Everything a channel raised, in order.
struct Recorder {
    explicit Recorder(TNetQueueIDChanel& chanel);
    std::vector<ChanelState> states;
    std::vector<Bytes> answers;
    std::vector<int> ids;
    std::vector<int> lost;
    std::string console;
};

// A loopback socket listening on a port the system picked, and that port.
int ListeningSocket(int& port);

// A loopback port nobody listens on, for as long as this lives: a socket
// is bound to it and never listens, so a connection there is refused and
// no other program can take the port meanwhile.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    std::string Address() const { return "127.0.0.1:" + std::to_string(port); }

private:
    int port = 0;  // before fd: the constructor sets it while binding
    int fd = -1;
};

// The port the channel's note "Ожидание звонка прибора на ADDRESS:PORT"
// names in `console`; 0 while there is no such note.
int ListenedPort(const std::string& console);

// `frame` with its CRC-16 appended, low byte first.
Bytes WithCrc(Bytes frame);

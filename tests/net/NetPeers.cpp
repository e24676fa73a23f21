#include "NetPeers.h"

#include "Crc16.h"
#include "LoopbackSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

Recorder::Recorder(TNetQueueIDChanel& chanel) {
    chanel.SetOnChanelStateEvent([this](ChanelState s) { states.push_back(s); });
    chanel.SetOnRecvPacketEvent([this](const void* data, uint16_t length, int id) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        answers.emplace_back(bytes, bytes + length);
        ids.push_back(id);
    });
    chanel.SetOnLostPacketEvent([this](int id) { lost.push_back(id); });
    chanel.SetConsoleFunction([this](const std::string& text) { console += text + "\n"; });
}

int ListeningSocket(int& port) {
    const int fd = BoundSocket(port);
    ::listen(fd, 4);
    return fd;
}

RefusingPort::RefusingPort() : fd(BoundSocket(port)) {}

RefusingPort::~RefusingPort() {
    ::close(fd);
}

int ListenedPort(const std::string& console) {
    const std::string note = "Ожидание звонка прибора на ";
    const size_t at = console.find(note);
    if (at == std::string::npos) {
        return 0;
    }
    const size_t end = console.find('\n', at);
    const size_t colon = console.rfind(':', end);
    return colon == std::string::npos || colon < at ? 0 : std::atoi(console.c_str() + colon + 1);
}

Bytes WithCrc(Bytes frame) {
    const uint16_t crc = Crc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

#pragma once

#include "SimPort.h"

#include <string>

namespace zqsim {

// The simulator's end of the line: the master side of a pseudo-terminal
// whose slave the tool opens, or a serial device. Descriptors are
// non-blocking. Not thread-safe.
class SimLine final : public SimPort {
public:
    // Open() makes a pseudo-terminal when `devicePath` is empty, else opens
    // that device; `baud` and `link` as for OpenPty and OpenDevice.
    SimLine(std::string devicePath, int baud, std::string link);
    ~SimLine() override;
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    // Close, and the link removed if it still points at this line.
    void Shutdown() override;

    // The port's side: the event's announcement and note give the path.
    bool Open(PortEvent& event, std::string& error) override;
    int Fd() const override { return fd_; }
    // A serial device reads 0 bytes when it has none (VMIN 0); the master
    // side fails with EAGAIN then. A hang-up or another error loses the line.
    ssize_t Read(uint8_t* data, size_t size) override;
    ssize_t Write(const uint8_t* data, size_t size) override;
    // The slave's open/close (none on a device): readable after a client
    // closed the slave; Service then clears what it may have left behind.
    pollfd Watch() const override { return {watchFd_, POLLIN, 0}; }
    PortEvent Service(short revents, SimTime now) override;
    // HangUpAndReopen; a device is reopened after 200 ms, so that one that
    // keeps hanging up is not reopened in a busy loop.
    bool Reopen(PortEvent& event, std::string& error) override;
    // The slave's path, or the device path.
    const std::string& Path() const override { return path_; }

private:
    // A new pseudo-terminal pair with the slave raw at `baud` (0: 19200).
    // One descriptor of the slave stays open here (never read), so the
    // master sees no hang-up while no client has the slave open. With a
    // non-empty `link`, a symbolic link to the slave is made (or re-pointed)
    // there; missing parent folders are created.
    bool OpenPty(int baud, const std::string& link, std::string& error);
    // A serial device, raw 8N1 at `baud` (0: 19200), no flow control.
    bool OpenDevice(const std::string& path, int baud, std::string& error);

    // Hangs the line up: the master side is closed, so the client's port
    // sees POLLHUP and its reads fail. Then the line is opened afresh (a new
    // pseudo-terminal, the link re-pointed; or the device reopened).
    bool HangUpAndReopen(std::string& error);
    void Close();
    // A client that closed the slave may have left it in exclusive mode
    // (TIOCEXCL is a flag of the terminal, not of a descriptor, and lives on
    // while our own slave descriptor is open), which would refuse the next
    // client's open. Clears that flag.
    void OnClientClosed();

    bool MakeLink(std::string& error);
    void Opened(PortEvent& event) const;

    std::string devicePath_;
    int fd_ = -1;
    int slaveFd_ = -1;
    int watchFd_ = -1;
    bool pty_ = false;
    int baud_ = 0;
    std::string path_;
    std::string link_;
};

// Sets a terminal raw 8N1, CLOCAL | CREAD, no flow control, at `baud`
// (unsupported rates: 19200). False when it is no terminal.
bool SetRawLine(int fd, int baud);

}  // namespace zqsim

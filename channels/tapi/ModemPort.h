#pragma once

#include <memory>
#include <string>

namespace comprt {
class ComPort;
}

// The port of an open modem line: opened exclusively at 19200 baud 8N1 with
// DTR on, read and written without blocking by the modem dialogue on the GUI
// thread. Owns its descriptor; ComPort's Read and Write are not used here,
// they belong to a channel's worker.
class ModemPort {
public:
    // Null when the port cannot be opened.
    static std::unique_ptr<ModemPort> Open(const std::string& portName);
    ~ModemPort();
    ModemPort(const ModemPort&) = delete;
    ModemPort& operator=(const ModemPort&) = delete;

    int Handle() const { return fd; }
    // Writes all of `text`, waiting at most a second for the line; false on
    // a failure.
    bool WriteText(const std::string& text);
    // A new descriptor of the same port (close-on-exec), owned by the caller.
    int Duplicate() const;
    // Ends the call: DTR off where the port has modem lines; otherwise, on
    // a connected call, the escape sequence with its guard time and ATH, on a
    // background thread holding its own descriptor; while dialling, ATH at
    // once (any character stops the dialling).
    void HangUp(bool connected);

    // Waits for the background hang-ups (at program end).
    static void WaitForHangUps();

private:
    ModemPort(std::unique_ptr<comprt::ComPort> device, bool hasModemLines);

    // Opens, configures and locks the device as the channels do.
    std::unique_ptr<comprt::ComPort> device;
    int fd;
    bool hasModemLines;
};

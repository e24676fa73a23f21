#pragma once

#include <cstddef>
#include <string>
#include <vector>

// How a port name reaches a device on this system, and which names there are.
//
// 1. A name containing '/' is a device path and is used as it stands.
// 2. Otherwise the name is looked up, ignoring letter case, among the
//    symbolic links of the user's port folder (COM3 -> /dev/ttyUSB0).
// 3. Otherwise COMn is the conventional device: n = 1..32 -> /dev/ttyS<n-1>,
//    33..64 -> /dev/ttyUSB<n-33>, 65..96 -> /dev/ttyACM<n-65>.
// Names longer than kMaxPortNameLength bytes, or holding a NUL, reach nothing;
// they are never shortened.
namespace comprt {

constexpr size_t kMaxPortNameLength = 255;

// $XDG_CONFIG_HOME/Halbrec/ZURavorav/ports (XDG_CONFIG_HOME defaulting to
// ~/.config), read at each call.
std::string PortFolder();

// The path to open for `name`; empty when the name reaches no device path.
// The path need not exist.
std::string PortPath(const std::string& name);
// The same with `portFolder` as the user's port folder.
std::string PortPath(const std::string& name, const std::string& portFolder);

// How to get the right to open `path` when the system refused it: the
// group that owns the device (usually dialout) and the command that makes
// the user a member (Russian, one line).
std::string PortAccessHint(const std::string& path);

// The system's list of port names: the links of the port folder in natural
// order (COM2 before COM10, letter case ignored), then COMn for each
// conventional device that exists (a ttyS only with a real UART behind it),
// without repeating a name (letter case ignored).
std::vector<std::string> PlatformPortNames();
// The same over other folders: `devFolder` stands for /dev and `sysTtyFolder`
// for /sys/class/tty.
std::vector<std::string> PlatformPortNames(const std::string& portFolder,
                                           const std::string& devFolder,
                                           const std::string& sysTtyFolder);

// A name of that list and what it stands for.
struct PlatformPort {
    std::string name;
    // The conventional device (ttyUSB0) a COMn name stands for; empty for a
    // link of the port folder.
    std::string device;
};
// The list as PlatformPortNames gives it, each name with its device.
std::vector<PlatformPort> PlatformPorts(const std::string& portFolder, const std::string& devFolder,
                                        const std::string& sysTtyFolder);

// Natural order: digit runs compare by value, other characters ignoring
// letter case; names equal that way fall back to plain byte order.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace comprt

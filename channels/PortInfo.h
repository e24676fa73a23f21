#pragma once

#include "PortNames.h"

#include <cstddef>
#include <string>
#include <vector>

// What stands behind each port name, for a person choosing the port: read
// from sysfs (/sys/class/tty) and /dev. Plain reads of small files and links;
// any thread may call. The system's strings (a USB adapter's maker, product
// and serial number come from the adapter itself) are cut to one line of at
// most kMaxAttributeLength bytes with control characters replaced.
namespace comprt {

inline constexpr const char* kTextNoDevice = "устройство не найдено";
inline constexpr const char* kTextPseudoTerminal = "псевдотерминал";
inline constexpr const char* kTextNoUart = "UART не найден";

constexpr size_t kMaxListedPorts = 256;
constexpr size_t kMaxAttributeLength = 128;

struct PortInfo {
    // What the connection settings keep: COMn, a port-folder alias, or a
    // device path as typed.
    std::string name;
    // The device node the name reaches in the end (/dev/ttyUSB0); for a name
    // that reaches nothing that exists, the path it leads to (may be empty).
    std::string device;
    // "FTDI FT232R USB UART (A10K1234)", "UART 16550A, порт 0x3F8",
    // kTextNoDevice when the device is missing, empty when nothing is known.
    std::string description;
    // The /dev/serial/by-id/ link to the device: the same adapter in any
    // USB socket. Empty when there is none.
    std::string stablePath;
    bool present = false;

    bool operator==(const PortInfo&) const = default;
};

// Where the reader looks. `root` stands for "/": its dev/, dev/serial/by-id/
// and sys/ are read, and the paths reported are those seen from it
// (/dev/ttyUSB0). `portFolder` is the user's port folder, wherever it is; its
// links lead to paths seen from `root`.
struct PortSystem {
    std::string root = "/";
    std::string portFolder = PortFolder();
};

// The ports there are: the port folder's links in natural order (each with
// the device it leads to, present or not), then COMn for every conventional
// device that exists (a ttyS only with a UART behind it), a name the folder
// already has (letter case ignored) not repeated. At most kMaxListedPorts.
std::vector<PortInfo> ListPorts(const PortSystem& system = PortSystem());

// What any name reaches (PortNames.h), described as ListPorts would; `name`
// is kept as given. Not present, with no device, for a name that reaches no
// path at all.
PortInfo DescribePort(const std::string& name, const PortSystem& system = PortSystem());

}  // namespace comprt

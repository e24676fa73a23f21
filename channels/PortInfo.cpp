#include "PortInfo.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <utility>

#include <dirent.h>
#include <linux/serial.h>
#include <linux/serial_core.h>
#include <sys/stat.h>
#include <unistd.h>

namespace comprt {

namespace {

// Links followed before a path counts as leading nowhere (a loop).
constexpr int kMaxLinkHops = 40;

constexpr const char* kSysTty = "/sys/class/tty";
constexpr const char* kSysDevices = "/sys/devices";
constexpr const char* kById = "/dev/serial/by-id";

// Names of the port types a ttyS reports (linux/serial_core.h).
const std::map<int, const char*> kUartTypes = {
    {PORT_8250, "8250"},         {PORT_16450, "16450"},       {PORT_16550, "16550"},
    {PORT_16550A, "16550A"},     {PORT_CIRRUS, "Cirrus"},     {PORT_16650, "16650"},
    {PORT_16650V2, "16650V2"},   {PORT_16750, "16750"},       {PORT_STARTECH, "Startech"},
    {PORT_16C950, "16C950"},     {PORT_16654, "16654"},       {PORT_16850, "16850"},
    {PORT_RSA, "RSA"},           {PORT_NS16550A, "NS16550A"}, {PORT_XR17D15X, "XR17D15x"},
    {PORT_XR17V35X, "XR17V35x"},
};

// `path` (seen from the root) as a path of this system.
std::string InRoot(const std::string& root, const std::string& path) {
    if (root.empty() || root == "/") {
        return path;
    }
    return (root.back() == '/' ? root.substr(0, root.size() - 1) : root) + path;
}

std::string DirName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// An absolute path with ".", ".." and repeated slashes taken out.
std::string Normalize(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& part : parts) {
        result += "/" + part;
    }
    return result.empty() ? "/" : result;
}

bool ReadLink(const std::string& path, std::string& target) {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) {
        return false;
    }
    target.assign(buffer, static_cast<size_t>(length));
    return true;
}

// `target` of a link that lies in `folder`, as an absolute path.
std::string LinkTarget(const std::string& folder, const std::string& target) {
    return Normalize(target.front() == '/' ? target : folder + "/" + target);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Follows the links of `path` (seen from the root) to the path it ends at;
// `exists` tells whether that exists.
std::string ResolveInRoot(const std::string& root, std::string path, bool& exists) {
    exists = false;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        const std::string real = InRoot(root, path);
        struct stat st {};
        if (::lstat(real.c_str(), &st) != 0) {
            return path;
        }
        std::string target;
        if (!S_ISLNK(st.st_mode) || !ReadLink(real, target)) {
            exists = true;
            return path;
        }
        path = LinkTarget(DirName(path), target);
    }
    return path;
}

// The first line of a sysfs attribute, at most kMaxAttributeLength bytes,
// control characters replaced by spaces, trimmed. Empty when unreadable.
std::string ReadAttribute(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string text;
    char c = 0;
    while (text.size() < kMaxAttributeLength && file.get(c) && c != '\n') {
        const auto byte = static_cast<unsigned char>(c);
        text += byte < 0x20 || byte == 0x7F ? ' ' : c;
    }
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string UartDescription(const std::string& ttyFolder) {
    const std::string typeText = ReadAttribute(ttyFolder + "/type");
    if (typeText.empty() || typeText.find_first_not_of("0123456789") != std::string::npos ||
        typeText.size() > 4) {
        return {};
    }
    const int type = std::atoi(typeText.c_str());
    if (type == PORT_UNKNOWN) {
        return kTextNoUart;
    }
    const auto known = kUartTypes.find(type);
    std::string text = known != kUartTypes.end() ? std::string("UART ") + known->second
                                                 : "UART (тип " + typeText + ")";
    const std::string port = ReadAttribute(ttyFolder + "/port");
    if (!port.empty() && port != "0x0") {
        text += ", порт " + port;
    }
    return text;
}

// The USB device the tty hangs from: its folder under /sys/devices holds
// idVendor. Empty for a tty that is not on USB.
std::string UsbDescription(const std::string& root, const std::string& ttyFolder) {
    char* resolved = ::realpath((ttyFolder + "/device").c_str(), nullptr);
    if (resolved == nullptr) {
        return {};
    }
    std::string folder = resolved;
    std::free(resolved);
    char* devicesResolved = ::realpath(InRoot(root, kSysDevices).c_str(), nullptr);
    if (devicesResolved == nullptr) {
        return {};
    }
    const std::string devices = devicesResolved;
    std::free(devicesResolved);
    while (folder.size() > devices.size() && folder.compare(0, devices.size(), devices) == 0) {
        if (Exists(folder + "/idVendor")) {
            const std::string maker = ReadAttribute(folder + "/manufacturer");
            const std::string product = ReadAttribute(folder + "/product");
            const std::string serial = ReadAttribute(folder + "/serial");
            std::string text = maker;
            if (!product.empty()) {
                // "FTDI" and "FTDI USB Serial" need the maker once.
                if (maker.empty() || product.compare(0, maker.size(), maker) == 0) {
                    text = product;
                } else {
                    text += " " + product;
                }
            }
            if (text.empty()) {
                text = "USB " + ReadAttribute(folder + "/idVendor") + ":" +
                       ReadAttribute(folder + "/idProduct");
            }
            if (!serial.empty()) {
                text += " (" + serial + ")";
            }
            return text;
        }
        folder = DirName(folder);
    }
    return {};
}

// What is behind an existing device node (seen from the root).
std::string DeviceDescription(const std::string& root, const std::string& device) {
    if (device.compare(0, 9, "/dev/pts/") == 0) {
        return kTextPseudoTerminal;
    }
    const std::string ttyFolder = InRoot(root, std::string(kSysTty) + "/" + BaseName(device));
    const std::string uart = UartDescription(ttyFolder);
    return uart.empty() ? UsbDescription(root, ttyFolder) : uart;
}

// The device each /dev/serial/by-id/ link leads to, and the first link (in
// name order) for each device.
std::map<std::string, std::string> StablePaths(const std::string& root) {
    std::map<std::string, std::string> paths;
    DIR* dir = ::opendir(InRoot(root, kById).c_str());
    if (dir == nullptr) {
        return paths;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string link = std::string(kById) + "/" + name;
        bool exists = false;
        const std::string device = ResolveInRoot(root, link, exists);
        if (exists) {
            paths.emplace(device, link);
        }
    }
    return paths;
}

// Fills device, description and stable path of a port whose name leads to
// `path` (seen from the root; a port-folder link is followed first).
void Describe(PortInfo& info, const std::string& path, const PortSystem& system,
              const std::map<std::string, std::string>& stablePaths) {
    std::string start = path;
    const std::string folderPrefix = system.portFolder + "/";
    std::string target;
    if (path.compare(0, folderPrefix.size(), folderPrefix) == 0 && ReadLink(path, target)) {
        start = LinkTarget(system.portFolder, target);
    }
    info.device = ResolveInRoot(system.root, start, info.present);
    if (!info.present) {
        info.description = kTextNoDevice;
        return;
    }
    info.description = DeviceDescription(system.root, info.device);
    const auto stable = stablePaths.find(info.device);
    if (stable != stablePaths.end()) {
        info.stablePath = stable->second;
    }
}

}  // namespace

std::vector<PortInfo> ListPorts(const PortSystem& system) {
    const std::map<std::string, std::string> stablePaths = StablePaths(system.root);
    std::vector<PlatformPort> names =
        PlatformPorts(system.portFolder, InRoot(system.root, "/dev"), InRoot(system.root, kSysTty));
    names.resize(std::min(names.size(), kMaxListedPorts));
    std::vector<PortInfo> ports;
    for (const PlatformPort& port : names) {
        PortInfo info;
        info.name = port.name;
        const std::string path =
            port.device.empty() ? system.portFolder + "/" + port.name : "/dev/" + port.device;
        Describe(info, path, system, stablePaths);
        ports.push_back(std::move(info));
    }
    return ports;
}

PortInfo DescribePort(const std::string& name, const PortSystem& system) {
    PortInfo info;
    info.name = name;
    const std::string path = PortPath(name, system.portFolder);
    if (path.empty()) {
        return info;
    }
    Describe(info, path, system, StablePaths(system.root));
    return info;
}

}  // namespace comprt

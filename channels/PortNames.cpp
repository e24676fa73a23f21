#include "PortNames.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <set>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace comprt {

namespace {

struct ConventionalRange {
    int first;           // first COM number of the range
    const char* prefix;  // device name without its number
};

// 32 numbers each.
constexpr ConventionalRange kConventional[] = {{1, "ttyS"}, {33, "ttyUSB"}, {65, "ttyACM"}};
constexpr int kNumbersPerRange = 32;
constexpr int kLastComNumber = 96;

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && Lower(a) == Lower(b);
}

bool IsSymlink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The links of a port folder, unsorted; dot-files are not ports.
std::vector<std::string> FolderLinks(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.') {
            continue;
        }
        if (IsSymlink(folder + "/" + name)) {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    return names;
}

// 1..96 for "COMn" (any letter case), 0 for anything else.
int ComNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || Lower(name.substr(0, 3)) != "com") {
        return 0;
    }
    int number = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
            return 0;
        }
        number = number * 10 + (name[i] - '0');
    }
    return number >= 1 && number <= kLastComNumber ? number : 0;
}

// Device name (ttyS0, ttyUSB3 ...) of COM `number`, 1..96.
std::string ConventionalDevice(int number) {
    for (auto it = std::rbegin(kConventional); it != std::rend(kConventional); ++it) {
        if (number >= it->first) {
            return it->prefix + std::to_string(number - it->first);
        }
    }
    return {};
}

// A ttyS node exists for every possible UART; only those with a UART behind
// them count. The kernel says so in sysfs; without sysfs the driver is asked
// on a descriptor opened without waiting for the carrier.
bool RealUart(const std::string& devPath, const std::string& sysTtyFolder,
              const std::string& device) {
    std::ifstream typeFile(sysTtyFolder + "/" + device + "/type");
    int type = 0;
    if (typeFile >> type) {
        return type != PORT_UNKNOWN;
    }
    const int fd = ::open(devPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == EBUSY;  // held exclusively by another program: it is real
    }
    serial_struct info{};
    const bool real = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return real;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string PortFolder() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (configHome != nullptr && configHome[0] != '\0') {
        base = configHome;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : "") + "/.config";
    }
    return base + "/Halbrec/ZURavorav/ports";
}

std::string PortPath(const std::string& name) {
    return PortPath(name, PortFolder());
}

std::string PortPath(const std::string& name, const std::string& folder) {
    if (name.empty() || name.size() > kMaxPortNameLength || name.find('\0') != std::string::npos) {
        return {};
    }
    if (name.find('/') != std::string::npos) {
        return name;
    }
    const std::vector<std::string> links = FolderLinks(folder);
    if (std::find(links.begin(), links.end(), name) != links.end()) {
        return folder + "/" + name;
    }
    for (const std::string& link : links) {
        if (EqualNoCase(link, name)) {
            return folder + "/" + link;
        }
    }
    const int number = ComNumber(name);
    if (number == 0) {
        return {};
    }
    return "/dev/" + ConventionalDevice(number);
}

std::vector<std::string> PlatformPortNames() {
    return PlatformPortNames(PortFolder(), "/dev", "/sys/class/tty");
}

std::vector<std::string> PlatformPortNames(const std::string& portFolder,
                                           const std::string& devFolder,
                                           const std::string& sysTtyFolder) {
    std::vector<std::string> names;
    for (PlatformPort& port : PlatformPorts(portFolder, devFolder, sysTtyFolder)) {
        names.push_back(std::move(port.name));
    }
    return names;
}

std::vector<PlatformPort> PlatformPorts(const std::string& portFolder, const std::string& devFolder,
                                        const std::string& sysTtyFolder) {
    std::vector<std::string> links = FolderLinks(portFolder);
    std::sort(links.begin(), links.end(), NaturalLess);
    std::vector<PlatformPort> ports;
    std::set<std::string> seen;
    for (std::string& link : links) {
        seen.insert(Lower(link));
        ports.push_back({std::move(link), {}});
    }
    for (const ConventionalRange& range : kConventional) {
        for (int i = 0; i < kNumbersPerRange; ++i) {
            const std::string device = range.prefix + std::to_string(i);
            const std::string path = devFolder + "/" + device;
            if (!Exists(path)) {
                continue;
            }
            if (range.first == 1 && !RealUart(path, sysTtyFolder, device)) {
                continue;
            }
            const std::string name = "COM" + std::to_string(range.first + i);
            if (seen.insert(Lower(name)).second) {
                ports.push_back({name, device});
            }
        }
    }
    return ports;
}

bool NaturalLess(const std::string& a, const std::string& b) {
    auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            size_t endA = i;
            size_t endB = j;
            while (endA < a.size() && isDigit(a[endA])) {
                ++endA;
            }
            while (endB < b.size() && isDigit(b[endB])) {
                ++endB;
            }
            // Compare the values: without leading zeros, the longer run is larger.
            size_t startA = i;
            size_t startB = j;
            while (startA + 1 < endA && a[startA] == '0') {
                ++startA;
            }
            while (startB + 1 < endB && b[startB] == '0') {
                ++startB;
            }
            const std::string_view runA(a.data() + startA, endA - startA);
            const std::string_view runB(b.data() + startB, endB - startB);
            if (runA.size() != runB.size()) {
                return runA.size() < runB.size();
            }
            if (runA != runB) {
                return runA < runB;
            }
            i = endA;
            j = endB;
            continue;
        }
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[j]));
        if (ca != cb) {
            return ca < cb;
        }
        ++i;
        ++j;
    }
    if ((i < a.size()) != (j < b.size())) {
        return j < b.size();  // the shorter name, all of it matched, comes first
    }
    return a < b;
}

std::string PortAccessHint(const std::string& path) {
    std::string group = "dialout";
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (const struct group* owner = ::getgrgid(info.st_gid);
            owner != nullptr && owner->gr_name) {
            group = owner->gr_name;
        }
    }
    return "Нет прав на " + path + ": добавьте пользователя в группу " + group +
           " (sudo usermod -aG " + group + " $USER) и войдите в систему заново";
}

}  // namespace comprt

#include "SimLine.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace zqsim {

namespace {

speed_t SpeedOf(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B19200;
    }
}

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

bool SetRawLine(int fd, int baud) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CRTSCTS | CSTOPB | PARENB);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, SpeedOf(baud));
    cfsetospeed(&tio, SpeedOf(baud));
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

SimLine::SimLine(std::string devicePath, int baud, std::string link)
    : devicePath_(std::move(devicePath)), baud_(baud), link_(std::move(link)) {}

SimLine::~SimLine() {
    Shutdown();
}

bool SimLine::Open(PortEvent& event, std::string& error) {
    const bool opened =
        devicePath_.empty() ? OpenPty(baud_, link_, error) : OpenDevice(devicePath_, baud_, error);
    if (opened) {
        Opened(event);
    }
    return opened;
}

bool SimLine::Reopen(PortEvent& event, std::string& error) {
    if (!pty_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (!HangUpAndReopen(error)) {
        return false;
    }
    Opened(event);
    return true;
}

void SimLine::Opened(PortEvent& event) const {
    event.announce = path_;
    event.note = "line " + path_;
}

ssize_t SimLine::Read(uint8_t* data, size_t size) {
    const ssize_t n = read(fd_, data, size);
    if (n >= 0) {
        return n;
    }
    return errno == EAGAIN || errno == EINTR ? 0 : -1;
}

ssize_t SimLine::Write(const uint8_t* data, size_t size) {
    return write(fd_, data, size);
}

PortEvent SimLine::Service(short revents, SimTime) {
    if (revents != 0) {
        OnClientClosed();
    }
    return {};
}

bool SimLine::OpenPty(int baud, const std::string& link, std::string& error) {
    Close();
    pty_ = true;
    baud_ = baud;
    link_ = link;
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error = Errno("posix_openpt");
        return false;
    }
    char name[128];
    if (grantpt(fd_) != 0 || unlockpt(fd_) != 0 || ptsname_r(fd_, name, sizeof name) != 0) {
        error = Errno("pseudo-terminal");
        Close();
        return false;
    }
    path_ = name;
    slaveFd_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slaveFd_ < 0 || !SetRawLine(slaveFd_, baud)) {
        error = Errno("slave " + path_);
        Close();
        return false;
    }
    watchFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watchFd_ >= 0 && inotify_add_watch(watchFd_, name, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        close(watchFd_);
        watchFd_ = -1;
    }
    return link_.empty() || MakeLink(error);
}

bool SimLine::OpenDevice(const std::string& path, int baud, std::string& error) {
    Close();
    pty_ = false;
    baud_ = baud;
    path_ = path;
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error = Errno(path);
        return false;
    }
    if (!SetRawLine(fd_, baud)) {
        error = Errno(path + " is no serial line");
        Close();
        return false;
    }
    return true;
}

bool SimLine::HangUpAndReopen(std::string& error) {
    if (pty_) {
        return OpenPty(baud_, link_, error);  // closes the old pair first
    }
    const std::string path = path_;
    Close();
    return OpenDevice(path, baud_, error);
}

void SimLine::Close() {
    for (int* fd : {&fd_, &slaveFd_, &watchFd_}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

void SimLine::OnClientClosed() {
    char events[4096];
    while (watchFd_ >= 0 && read(watchFd_, events, sizeof events) > 0) {
    }
    if (slaveFd_ >= 0) {
        ioctl(slaveFd_, TIOCNXCL);
    }
}

bool SimLine::MakeLink(std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path link(link_);
    if (link.has_parent_path()) {
        fs::create_directories(link.parent_path(), ec);
    }
    if (fs::exists(fs::symlink_status(link, ec)) && !fs::is_symlink(fs::symlink_status(link, ec))) {
        error = link_ + " exists and is no symbolic link";
        return false;
    }
    // Made beside it and renamed over it, so a reader never finds no link.
    const std::string temp = link_ + ".zqsim-" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(path_.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), link_.c_str()) != 0) {
        error = Errno("link " + link_);
        unlink(temp.c_str());
        return false;
    }
    return true;
}

void SimLine::Shutdown() {
    Close();
    if (link_.empty()) {
        return;
    }
    // Only a link that still points at our line: another simulator may have
    // taken the name over.
    char target[4096];
    const ssize_t n = readlink(link_.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<size_t>(n)) == path_) {
        unlink(link_.c_str());
    }
    link_.clear();
}

}  // namespace zqsim
